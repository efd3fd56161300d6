#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "app/export_picture.h"
#include "app/main_frame.h"
#include "app_fixture.h"
#include "document/dat_file.h"
#include "picture/dib_image.h"
#include "view/command_ids.h"

TEST_F(AppFixture, StartingWithoutArgumentsOpensOneNewDocument) {
    int dialogs = 0;
    prompts.settingsDialog = [&dialogs](FigureEngine&, std::string&) { return ++dialogs, IDOK; };
    ASSERT_TRUE(Start());
    ASSERT_EQ(app->Documents().size(), 1u);
    const CDibDoc& doc = *app->Documents().front();
    EXPECT_EQ(doc.m_pictureSize.width, 1200);
    EXPECT_EQ(doc.m_pictureSize.height, 900);
    EXPECT_TRUE(doc.m_hDIB);
    EXPECT_FALSE(doc.m_bBitmapMode);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(Frame().ShowsDocumentMenu());
    ASSERT_NE(app->ActiveView(), nullptr);
    EXPECT_EQ(&app->ActiveView()->GetDocument(), &doc);
    EXPECT_EQ(Frame().windowTitle(), "Dorvanta program");
    EXPECT_TRUE(Frame().isVisible());
}

TEST_F(AppFixture, OpensFilesNamedOnTheCommandLine) {
    WriteBmp(dir.File("small.bmp"), 64, 32);
    WriteDat(dir.File("fig.dat"));
    ASSERT_TRUE(Start({File("small.bmp"), File("fig.dat")}));
    ASSERT_EQ(app->Documents().size(), 2u);
    const CDibDoc& picture = *app->Documents()[0];
    EXPECT_TRUE(picture.m_bBitmapMode);
    EXPECT_EQ(picture.m_pictureSize.width, 64);
    EXPECT_EQ(picture.m_pictureSize.height, 32);
    EXPECT_EQ(picture.GetTitle(), "small");
    const CDibDoc& figure = *app->Documents()[1];
    EXPECT_FALSE(figure.m_bBitmapMode);
    EXPECT_EQ(figure.m_pictureSize.width, 1200);
    EXPECT_EQ(figure.GetTitle(), "fig");
    // The newest file heads the recent-file list; the frame shows the active document's name.
    EXPECT_EQ(app->RecentFiles(), (QStringList{File("fig.dat"), File("small.bmp")}));
    Frame().UpdateCommandUI();
    EXPECT_EQ(Frame().windowTitle(), "Dorvanta program - fig");
}

TEST_F(AppFixture, AFileThatCannotBeOpenedEndsStartUp) {
    EXPECT_FALSE(Start({File("missing.bmp")}));
    EXPECT_NE(app->ExitCode(), 0);
    EXPECT_TRUE(AnyMessageContains(prompts, "Read failed"));
    EXPECT_TRUE(app->Documents().empty());

    prompts.Clear();
    std::FILE* text = std::fopen(dir.File("notes.txt").c_str(), "w");
    std::fclose(text);
    EXPECT_FALSE(Start({File("notes.txt")}));
    EXPECT_TRUE(AnyMessageContains(prompts, "notes.txt"));
}

TEST_F(AppFixture, RecentFileListKeepsTheFourNewestAcrossRuns) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}) {
        WriteBmp(dir.File(name), 4, 4);
    }
    ASSERT_TRUE(Start({File("a.bmp"), File("b.bmp"), File("c.bmp"), File("d.bmp"), File("e.bmp")}));
    const QStringList expected{File("e.bmp"), File("d.bmp"), File("c.bmp"), File("b.bmp")};
    EXPECT_EQ(app->RecentFiles(), expected);
    app.reset();
    ASSERT_TRUE(Start());
    EXPECT_EQ(app->RecentFiles(), expected);
    // Opening an entry of the list opens that file.
    ASSERT_TRUE(app->Execute(ID_FILE_MRU_FILE1 + 2));
    EXPECT_EQ(app->ActiveDocument()->GetTitle(), "c");
}

TEST_F(AppFixture, ClosingTheLastDocumentShowsTheMenuWithoutDocuments) {
    ASSERT_TRUE(Start());
    CloseWindow(app->ActiveView());
    EXPECT_TRUE(app->Documents().empty());
    EXPECT_FALSE(Frame().ShowsDocumentMenu());
    Frame().UpdateCommandUI();
    EXPECT_EQ(Frame().windowTitle(), "Dorvanta program");
    // Without a document, New and Open reach the application; Save has no handler.
    EXPECT_TRUE(Frame().Action(ID_FILE_NEW)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_FILE_OPEN)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_FILE_SAVE)->isEnabled());
    ASSERT_TRUE(app->Execute(ID_FILE_NEW));
    EXPECT_EQ(app->Documents().size(), 1u);
    EXPECT_TRUE(Frame().ShowsDocumentMenu());
}

TEST_F(AppFixture, AModifiedDocumentIsOfferedForSavingBeforeItCloses) {
    WriteDat(dir.File("fig.dat"));
    ASSERT_TRUE(Start({File("fig.dat")}));
    CDibDoc& doc = *app->Documents().front();
    doc.SetModifiedFlag(true);
    prompts.answers = {IDCANCEL};
    CloseWindow(app->ActiveView());
    ASSERT_EQ(app->Documents().size(), 1u);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Save changes to fig?");
    EXPECT_EQ(prompts.messages[0].buttons, MsgButtons::YesNoCancel);

    prompts.answers = {IDCANCEL};
    EXPECT_FALSE(Frame().close());
    prompts.answers = {IDNO};
    CloseWindow(app->ActiveView());
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(AppFixture, FilesDroppedOnTheFrameOpenAsDocuments) {
    WriteBmp(dir.File("dropped.bmp"), 8, 8);
    ASSERT_TRUE(Start());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(File("dropped.bmp"))});
    EXPECT_TRUE(Frame().acceptDrops());
    EXPECT_EQ(Frame().OpenDroppedFiles(mime), 1);
    ASSERT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(app->ActiveDocument()->GetTitle(), "dropped");
}

TEST_F(AppFixture, NewWindowShowsTheSameDocumentNumbered) {
    WriteDat(dir.File("fig.dat"));
    ASSERT_TRUE(Start({File("fig.dat")}));
    ASSERT_TRUE(app->Execute(ID_WINDOW_NEW));
    CDibDoc& doc = *app->Documents().front();
    const auto views = app->ViewsOf(doc);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(app->WindowTitleOf(*views[0]), "fig:1");
    EXPECT_EQ(app->WindowTitleOf(*views[1]), "fig:2");
    CloseWindow(views[1]);
    EXPECT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(app->WindowTitleOf(*app->ViewsOf(doc).front()), "fig");
}

TEST_F(AppFixture, UndoAndRedoStartDisabledAndCutIsAlwaysDisabled) {
    ASSERT_TRUE(Start());
    Frame().UpdateCommandUI();
    EXPECT_FALSE(Frame().Action(ID_EDIT_UNDO)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_EDIT_REDO)->isEnabled());
    EXPECT_FALSE(Frame().Action(ID_EDIT_CUT)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_VIEW_FIT_TO_WINDOW)->isEnabled());
    EXPECT_TRUE(Frame().Action(ID_PICTURE_BITMAP)->isChecked());
    EXPECT_FALSE(Frame().Action(ID_PICTURE_JPEG)->isChecked());
    EXPECT_TRUE(Frame().Action(ID_VIEW_DORVANTA)->isChecked());
    EXPECT_FALSE(Frame().Action(ID_EDIT_UNDO)->isCheckable());
}

TEST_F(AppFixture, AcceleratorsReachTheirCommands) {
    ASSERT_TRUE(Start());
    Frame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    CDibView* view = app->ActiveView();
    view->m_bAutoSave = false;  // no numbered files from this test
    view->setFocus();
    QSignalSpy random(Frame().Action(ID_RANDOM_COLORS), &QAction::triggered);
    QTest::keyClick(view, Qt::Key_Q);
    QTest::keyClick(view, Qt::Key_Q, Qt::ShiftModifier);
    EXPECT_EQ(random.count(), 2);
    QTest::keyClick(view, Qt::Key_5);
    EXPECT_EQ(view->GetDocument().m_figure.m_nCurrentOrder, 5);
    QSignalSpy next(Frame().Action(ID_NEXT_PANE), &QAction::triggered);
    QTest::keyClick(view, Qt::Key_F6);
    EXPECT_EQ(next.count(), 1);

    // Ctrl+Z undoes the steps just made; with nothing left to undo it belongs to the view.
    QSignalSpy undone(Frame().Action(ID_EDIT_UNDO), &QAction::triggered);
    const auto steps = static_cast<int>(view->GetDocument().History().UndoSteps());
    EXPECT_GE(steps, 2);  // the colours (Q and Shift+Q merge when quick) and order 5
    for (int i = 0; i < steps; ++i) QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(undone.count(), steps);
    EXPECT_FALSE(view->GetDocument().CanUndo());
    Frame().UpdateCommandUI();
    struct KeySeen : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Z)
                seen = true;
            return false;
        }
    } filter;
    view->installEventFilter(&filter);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(filter.seen);
    view->removeEventFilter(&filter);
}

TEST_F(AppFixture, OpeningAnOpenFileAgainShowsItsWindow) {
    WriteDat(dir.File("fig.dat"));
    WriteBmp(dir.File("other.bmp"), 4, 4);
    ASSERT_TRUE(Start({File("fig.dat"), File("other.bmp")}));
    CDibDoc* first = app->Documents().front();
    EXPECT_EQ(app->OpenDocumentFile(File("fig.dat")), first);
    EXPECT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(app->ActiveDocument(), first);
}

TEST_F(AppFixture, ARecentFileThatFailsLeavesTheList) {
    WriteBmp(dir.File("gone.bmp"), 4, 4);
    ASSERT_TRUE(Start({File("gone.bmp")}));
    CloseWindow(app->ActiveView());
    std::remove(dir.File("gone.bmp").c_str());
    ASSERT_TRUE(app->Execute(ID_FILE_MRU_FILE1));
    EXPECT_TRUE(app->Documents().empty());
    EXPECT_TRUE(app->RecentFiles().isEmpty());
    EXPECT_TRUE(AnyMessageContains(prompts, "Read failed"));
}

TEST_F(AppFixture, ExitDuringAnExportAsksFirstAndNoKeepsTheProgramAndTheExport) {
    ASSERT_TRUE(Start());
    const std::string path = dir.File("poster.png");
    QPointer<CPictureExport> job =
        new CPictureExport(app->ActiveDocument()->m_figure, -1, {20000, 15000, FILE_KIND_PNG, 90},
                           path, "", 1, prompts, &Frame());
    prompts.answers = {IDNO};
    EXPECT_FALSE(Frame().close());
    EXPECT_EQ(prompts.Texts(),
              std::vector<std::string>{"An export is still running. Stop it and quit?"});
    EXPECT_TRUE(Frame().isVisible());
    ASSERT_FALSE(job.isNull());
    EXPECT_TRUE(job->IsRunning());

    prompts.answers = {IDYES};
    EXPECT_TRUE(Frame().close());
    EXPECT_TRUE(job.isNull());
    // Stopped without a trace: no picture, no temporary beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().filename(), "profile.ini");
    }
}
