// Opening and saving by every route: the recent-file list, the document's path and caption, the
// save question before a file replaces a modified document, unsupported kinds, dropped files and
// the information options of the command line.
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "app_fixture.h"
#include "document/numbered_files.h"
#include "view/command_ids.h"

namespace {

// Restores the process's current directory, which opening through the file dialog changes.
class CurrentDirectoryGuard {
  public:
    CurrentDirectoryGuard() : m_saved(std::filesystem::current_path()) {}
    ~CurrentDirectoryGuard() { std::filesystem::current_path(m_saved); }

  private:
    std::filesystem::path m_saved;
};

class FileRoutesTest : public AppFixture {
  protected:
    void SetUp() override {
        g_nFileCounter = 0;
        WriteDat(dir.File("a.dat"));
        WriteDat(dir.File("b.dat"));
        WriteBmp(dir.File("b.bmp"), 16, 8);
        std::ofstream(dir.File("notes.jpeg")) << "not a picture this program reads";
    }

    CDibDoc& Active() const { return *app->ActiveDocument(); }

    // Opens path into the active document as Ctrl+O does.
    void OpenIntoActive(const QString& path) {
        prompts.openPaths = {path.toStdString()};
        ASSERT_TRUE(app->Execute(ID_FILE_OPEN));
    }

    void Drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the frame's handler, as the window system delivers a drop on it.
        static_cast<QObject&>(Frame()).event(&drop);
        EXPECT_TRUE(drop.isAccepted());
    }

    CurrentDirectoryGuard keepDirectory;
};

}  // namespace

TEST_F(FileRoutesTest, EveryFileOpenedOrSavedEntersTheRecentListAtTheTopOnce) {
    ASSERT_TRUE(Start({File("a.dat")}));
    struct Route {
        const char* what;
        std::function<void()> act;
        QStringList expected;
    };
    const std::vector<Route> routes{
        {"Ctrl+O into the active document",
         [&] { OpenIntoActive(File("b.bmp")); },
         {File("b.bmp"), File("a.dat")}},
        {"Save As",
         [&] {
             prompts.savePaths = {dir.File("s.jpg")};
             app->Execute(ID_FILE_SAVE_AS);
         },
         {File("s.jpg"), File("b.bmp"), File("a.dat")}},
        {"Save",
         [&] { app->Execute(ID_FILE_SAVE); },
         {File("s.bmp"), File("s.jpg"), File("b.bmp"), File("a.dat")}},
        {"Ctrl+O of a file already in the list",
         [&] { OpenIntoActive(File("b.bmp")); },
         {File("b.bmp"), File("s.bmp"), File("s.jpg"), File("a.dat")}},
        {"numbered save (picture, then parameters)",
         [&] {
             Active().m_bPathConfirmed = true;
             app->Execute(ID_SAVE_NEXT_FILE);
         },
         {File("b1.dat"), File("b1.bmp"), File("b.bmp"), File("s.bmp")}},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.what);
        route.act();
        EXPECT_EQ(app->RecentFiles(), route.expected);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.File("b1.dat")));
}

TEST_F(FileRoutesTest, AfterOpenIntoADocumentItsPathNameAndCaptionFollowTheFile) {
    for (const char* name : {"b.dat", "b.bmp"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Start({File("a.dat")}));
        CDibDoc& doc = Active();
        OpenIntoActive(File(name));
        EXPECT_EQ(QString::fromStdString(doc.GetPathName()), File(name));
        EXPECT_EQ(doc.GetTitle(), "b");
        EXPECT_EQ(app->ActiveView()->parentWidget()->windowTitle(), "b");
        EXPECT_EQ(Frame().windowTitle(), "Dorvanta program - b");
        // The file the window held before is no longer this document: it opens anew.
        ASSERT_EQ(app->RecentFiles().indexOf(File("a.dat")), 1);
        ASSERT_TRUE(app->Execute(ID_FILE_MRU_FILE1 + 1));
        ASSERT_EQ(app->Documents().size(), 2u);
        EXPECT_EQ(app->ActiveDocument()->GetTitle(), "a");
        EXPECT_EQ(doc.GetTitle(), "b");
        app.reset();
    }
}

TEST_F(FileRoutesTest, OpenIntoAModifiedDocumentAsksTheCloseQuestionFirst) {
    ASSERT_TRUE(Start({File("a.dat")}));
    CDibDoc& doc = Active();

    doc.SetModifiedFlag(true);  // as a paste leaves it
    prompts.answers = {IDCANCEL};
    OpenIntoActive(File("b.dat"));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Save changes to a?");
    EXPECT_EQ(prompts.messages[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(doc.GetTitle(), "a");
    EXPECT_TRUE(doc.IsModified());

    prompts.Clear();
    prompts.answers = {IDYES};
    prompts.savePaths = {dir.File("kept.bmp")};
    OpenIntoActive(File("b.dat"));
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Save changes to a?"});
    EXPECT_TRUE(std::filesystem::exists(dir.File("kept.bmp")));
    EXPECT_EQ(doc.GetTitle(), "b");
    EXPECT_FALSE(doc.IsModified());  // the file just opened is unchanged

    doc.SetModifiedFlag(true);
    prompts.Clear();
    prompts.answers = {IDNO};
    OpenIntoActive(File("b.bmp"));
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(doc.m_bBitmapMode);
    EXPECT_FALSE(doc.IsModified());

    // A file that cannot be opened replaces nothing, so nothing is asked.
    doc.SetModifiedFlag(true);
    prompts.Clear();
    OpenIntoActive(File("notes.jpeg"));
    EXPECT_EQ(prompts.Texts(),
              std::vector<std::string>{UnsupportedKindText(dir.File("notes.jpeg"))});
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(FileRoutesTest, UnsupportedKindsShowTheSameMessageOnEveryRoute) {
    const QString notes = File("notes.jpeg");
    struct Route {
        const char* what;
        std::function<void()> act;
    };
    const std::vector<Route> routes{
        {"command line", [&] { EXPECT_FALSE(Start({notes})); }},
        {"Ctrl+O into a document",
         [&] {
             ASSERT_TRUE(Start());
             OpenIntoActive(notes);
         }},
        {"Open without a document",
         [&] {
             ASSERT_TRUE(Start());
             CloseWindow(app->ActiveView());
             prompts.openPaths = {notes.toStdString()};
             ASSERT_TRUE(app->Execute(ID_FILE_OPEN));
         }},
        {"drop",
         [&] {
             ASSERT_TRUE(Start());
             Drop({notes});
             QCoreApplication::processEvents();
         }},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.what);
        prompts.Clear();
        route.act();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(
            prompts.messages[0].text,
            "Cannot open " + notes.toStdString() +
                ":\nonly Dorvanta (.dat), Bitmap (.bmp), Jpeg (.jpg), Png (.png) and Dorvanta SVG "
                "(.svg) files can be opened.");
        EXPECT_EQ(prompts.messages[0].icon, MsgIcon::Exclamation);
        app.reset();
    }
}

TEST_F(FileRoutesTest, ADropFinishesBeforeItsFilesOpenOrItsMessageShows) {
    ASSERT_TRUE(Start());
    Drop({File("notes.jpeg"), File("b.bmp")});
    // The program that started the drag is free again before anything is shown.
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(app->Documents().size(), 1u);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.Texts(),
              std::vector<std::string>{UnsupportedKindText(dir.File("notes.jpeg"))});
    ASSERT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(app->ActiveDocument()->GetTitle(), "b");
}

TEST_F(FileRoutesTest, HelpAndVersionEndStartUpWithoutAWindow) {
    for (const char* option : {"--help", "--help-all", "-h", "--version", "-v"}) {
        SCOPED_TRACE(option);
        testing::internal::CaptureStdout();
        const bool started = Start({option});
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(started);
        EXPECT_EQ(app->ExitCode(), 0);
        EXPECT_EQ(app->MainFrame(), nullptr);
        EXPECT_TRUE(app->Documents().empty());
        if (std::string(option).find('v') != std::string::npos) {
            EXPECT_EQ(printed, std::string("Dorvanta ") + DORVANTA_VERSION + "\n");
        } else {
            EXPECT_NE(printed.find("Usage:"), std::string::npos);
            EXPECT_NE(printed.find("--version"), std::string::npos);
        }
        app.reset();
    }
    EXPECT_FALSE(Start({"--no-such-option"}));
    EXPECT_EQ(app->ExitCode(), 2);
    EXPECT_EQ(app->MainFrame(), nullptr);
}

// The program itself, as a user starts it: with a display (offscreen here) and without any.
TEST(CommandLine, InformationOptionsPrintAndExitZeroWithoutAWindow) {
    const QString program = DORVANTA_BINARY_DIR "/src/dorvanta";
    struct Case {
        const char* option;
        const char* printed;
    };
    const std::vector<Case> cases{
        {"--help", "Usage:"},
        {"--help-all", "--platform"},  // Qt's own options too
        {"--version", "Dorvanta " DORVANTA_VERSION "\n"},
    };
    for (const bool display : {true, false}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        if (display) environment.insert("QT_QPA_PLATFORM", "offscreen");
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.option) + (display ? " with a display" : " without one"));
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(program, {c.option});
            ASSERT_TRUE(process.waitForStarted());
            // A program that opened its window would still be running.
            if (!process.waitForFinished(20000)) {
                process.kill();
                process.waitForFinished();
                ADD_FAILURE() << "still running: it opened a window";
                continue;
            }
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), 0);
            EXPECT_TRUE(process.readAllStandardOutput().contains(c.printed));
        }
    }
}
