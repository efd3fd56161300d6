#include "app/background_export.h"

#include <QProgressDialog>
#include <algorithm>

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kPollMilliseconds = 50;

}  // namespace

CBackgroundExport::CBackgroundExport(const QString& title, const QString& label, Work work,
                                     UserPrompts& ui, QWidget* parent)
    : QObject(parent), m_ui(ui) {
    m_progress = new QProgressDialog(label, tr("Cancel"), 0, kProgressSteps, parent);
    m_progress->setWindowTitle(title);
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setValue(0);
    m_progress->show();
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    connect(&m_timer, &QTimer::timeout, this, &CBackgroundExport::Poll);
    m_timer.start(kPollMilliseconds);
    m_thread = std::thread([this, work = std::move(work)] {
        const StreamResult result = work(m_held, [this](std::int64_t done, std::int64_t total) {
            m_done = done;
            m_total = total;
            return !m_cancel;
        });
        m_result = static_cast<int>(result);
        m_over = true;
    });
}

CBackgroundExport::~CBackgroundExport() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
    delete m_progress;
}

void CBackgroundExport::Poll() {
    const std::int64_t total = std::max<std::int64_t>(m_total, 1);
    m_progress->setValue(static_cast<int>(kProgressSteps * m_done / total));
    if (!m_over) return;
    m_timer.stop();
    m_thread.join();
    m_progress->hide();
    m_held.ShowTo(m_ui);  // a cancel says nothing; a failure says why, once
    emit finished(m_result);
    deleteLater();
}
