// Starts the desktop program against a scripted prompt recorder and a private profile.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "app/main_frame.h"
#include "app/viewer_app.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "picture/dib_image.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "view/dib_view.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void WriteBmp(const std::string& path, int width, int height) {
    ScriptedPrompts ui;
    DibHandle handle;
    ASSERT_TRUE(DibAllocatePicture(handle, width, height, ui));
    DibInitHeader24(handle->Bytes(), width, height);
    ASSERT_TRUE(DibSaveBmpFile(path, handle, 0, ui));
}

inline void WriteDat(const std::string& path) {
    FigureEngine figure;
    ASSERT_EQ(SaveDatFile(figure, path), 0);
}

inline bool AnyMessageContains(const ScriptedPrompts& prompts, const std::string& part) {
    const auto texts = prompts.Texts();
    return std::any_of(texts.begin(), texts.end(),
                       [&part](const std::string& t) { return t.find(part) != std::string::npos; });
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
