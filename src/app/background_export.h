// An export that paints in the background: the work runs on a thread of its own while a progress
// dialog shows how far it is and its Cancel stops it. The window stays responsive; messages of
// the work are held and shown on the user-interface thread when it is done. The frame asks before
// it quits while one runs.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "figure/band_painting.h"
#include "picture/user_prompts.h"

class QProgressDialog;
class QWidget;

class CBackgroundExport : public QObject {
    Q_OBJECT

  public:
    // The work writes its file; it reports through the held prompts and stops when progress
    // answers false. It must own (or share) everything it reads.
    using Work = std::function<StreamResult(UserPrompts& ui, const PaintingProgress& progress)>;

    // Shows the progress dialog (title, label) and starts the work.
    CBackgroundExport(const QString& title, const QString& label, Work work, UserPrompts& ui,
                      QWidget* parent);
    ~CBackgroundExport() override;  // work still running is cancelled and waited for

    QProgressDialog* Progress() const { return m_progress; }
    // Painting or writing still; false once it has finished, failed or been cancelled.
    bool IsRunning() const { return m_timer.isActive(); }

  signals:
    void finished(int result);  // a StreamResult

  private:
    void Poll();

    UserPrompts& m_ui;
    HeldPrompts m_held;  // the work's messages, shown here when it is done
    std::atomic<std::int64_t> m_done{0};
    std::atomic<std::int64_t> m_total{1};
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_over{false};
    std::atomic<int> m_result{static_cast<int>(StreamResult::Failed)};
    QProgressDialog* m_progress = nullptr;
    QTimer m_timer;
    std::thread m_thread;
};
