// Starts the desktop program against a scripted prompt recorder and a private profile.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>
#include <memory>
#include <ostream>

#include "app/main_frame.h"
#include "app/viewer_app.h"
#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "view/dib_view.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

class AppFixture : public ::testing::Test {
  protected:
    bool Start(const QStringList& files = {}) {
        app = std::make_unique<CViewerApp>(prompts, Profile());
        return app->InitInstance(QStringList{"dorvanta"} + files);
    }

    QString Profile() const { return QString::fromStdString(dir.File("profile.ini")); }
    QString File(const char* name) const { return QString::fromStdString(dir.File(name)); }
    CMainFrame& Frame() const { return *app->MainFrame(); }

    // Closes a document window and lets its deferred deletion happen.
    static void CloseWindow(CDibView* view) {
        view->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<CViewerApp> app;
};
