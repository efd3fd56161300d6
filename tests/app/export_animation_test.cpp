// File > Export Animation...: the dialog's checks, the keyframes taken from the open documents, the
// preview, and the export in the background with its Cancel and the question on quitting.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QtEndian>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/export_animation.h"
#include "app_fixture.h"
#include "dialog_driving.h"
#include "document/dat_file.h"
#include "picture/png_file.h"
#include "support/apng_frames.h"
#include "view/command_ids.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The frame count an animated PNG announces (acTL) and the frames it holds (fcTL chunks).
std::pair<std::uint32_t, int> ApngFrames(const std::string& png) {
    std::uint32_t announced = 0;
    int controls = 0;
    for (const auto& [type, data] : PngChunksOf(png)) {
        if (type == "acTL") announced = qFromBigEndian<quint32>(data.data());
        controls += type == "fcTL";
    }
    return {announced, controls};
}

void WriteFigure(const std::string& path, int un, double magnification) {
    FigureEngine figure;
    figure.m_nUn = un;
    figure.m_dMagnExp = magnification;
    ASSERT_EQ(SaveDatFile(figure, path), 0);
}

// Two keyframes: the default figure and the same with other offsets.
std::vector<AnimationKeyframe> TwoKeyframes(int width = 1200, int height = 900) {
    FigureEngine a;
    a.m_nWidth = width;
    a.m_nHeight = height;
    FigureEngine b = a;
    b.m_nUn = 7;
    b.m_dMagnExp += 1;
    return {{"a", a}, {"b", b}};
}

void ChooseKind(CExportAnimationDialog& dialog, AnimationKind kind) {
    dialog.KindChoice()->setCurrentIndex(dialog.KindChoice()->findData(static_cast<int>(kind)));
}

void Type(QAbstractSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

TEST(ExportAnimationDialog, BadValuesAreRefusedAndTheDialogStaysOpen) {
    TempDir dir;
    const std::string frameRate = "Please enter a whole number from 1 to 240 in \"Frame rate\".";
    const std::string side = "Please enter a whole number from 1 to 16384 in ";
    const std::string duration =
        "Please enter a duration above 0, such as 2s, 2.5s or 500ms, in \"Duration 1 to 2\".";
    struct Case {
        std::string field;  // "duration", "fps", "width", "height", "path", "frames", "keyframes"
        QString text;
        std::string message;  // a message starting so; empty: accepted
    };
    for (const char* name : {"old.png", "old0.png"}) std::ofstream(dir.File(name)) << "older";
    const std::vector<Case> cases = {
        {"duration", "0", duration},
        {"duration", "-1s", duration},
        {"duration", "two", duration},
        {"duration", "", duration},
        {"duration", "1ms", "Cannot make this animation: "},  // shorter than a frame
        {"fps", "0", frameRate},
        {"fps", "241", frameRate},
        {"width", "0", side + "\"Width\"."},
        {"height", "16385", side + "\"Height\"."},
        {"path", "", "Please give the name of the animation's file."},
        {"path", QString::fromStdString(dir.File("missing/anim.png")), "Cannot write "},
        {"path", QString::fromStdString(dir.File("old.png")),  // answered: not Yes
         dir.File("old.png") + " already exists.\nDo you want to replace it?"},
        {"frames", QString::fromStdString(dir.File("old%d.png")),
         dir.File("old0.png") + " already exists.\nDo you want to replace it?"},
        {"keyframes", "1", "An animation needs two or more keyframes"},
        {"duration", "500ms", ""},
        {"fps", "240", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field + " " + c.text.toStdString());
        ScriptedPrompts ui;
        CExportAnimationDialog dialog(TwoKeyframes(80, 60), {}, dir.File("anim"), ui);
        dialog.show();
        ChooseKind(dialog, AnimationKind::AnimatedPng);
        if (c.field == "duration") Retype(dialog.DurationEdit(0), c.text);
        if (c.field == "fps") Type(dialog.FpsEdit(), c.text);
        if (c.field == "width") Type(dialog.WidthEdit(), c.text);
        if (c.field == "height") Type(dialog.HeightEdit(), c.text);
        if (c.field == "frames") ChooseKind(dialog, AnimationKind::PngFrames);
        if (c.field == "path" || c.field == "frames") Retype(dialog.PathEdit(), c.text);
        if (c.field == "keyframes") {
            dialog.KeyframeTable()->setCurrentCell(1, 0);
            ClickButton(dialog.RemoveButton());
        }
        ClickOk(dialog);
        if (c.message.empty()) {
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            EXPECT_TRUE(ui.Texts().empty());
            continue;
        }
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(ui.Texts().size(), 1u);
        EXPECT_EQ(ui.Texts()[0].substr(0, c.message.size()), c.message);
    }
}

TEST(ExportAnimationDialog, TheKindSetsTheEndingAndFramesGetANumberField) {
    ScriptedPrompts ui;
    CExportAnimationDialog dialog(TwoKeyframes(), {}, "/tmp/zoom", ui);
    const std::pair<AnimationKind, QString> endings[] = {
        {AnimationKind::Mp4, "/tmp/zoom.mp4"},
        {AnimationKind::Webm, "/tmp/zoom.webm"},
        {AnimationKind::PngFrames, "/tmp/zoom%05d.png"},
        {AnimationKind::AnimatedPng, "/tmp/zoom.png"},
        {AnimationKind::PngFrames, "/tmp/zoom%05d.png"},
        {AnimationKind::Mp4, "/tmp/zoom.mp4"},
    };
    EXPECT_EQ(dialog.PathEdit()->text(), "/tmp/zoom.mp4") << "MP4 first";
    for (const auto& [kind, path] : endings) {
        ChooseKind(dialog, kind);
        EXPECT_EQ(dialog.PathEdit()->text(), path);
    }
    ChooseKind(dialog, AnimationKind::PngFrames);
    ui.savePaths = {"/tmp/shots/f.png"};
    ClickButton(dialog.BrowseButton());
    EXPECT_EQ(dialog.PathEdit()->text(), "/tmp/shots/f%05d.png");
}

TEST(ExportAnimationDialog, KeyframesMoveAndTheirIntervalsKeepTheirDurations) {
    ScriptedPrompts ui;
    std::vector<AnimationKeyframe> keyframes = TwoKeyframes();
    keyframes.push_back({"c", keyframes[0].figure});
    CExportAnimationDialog dialog(keyframes, {}, "/tmp/zoom", ui);
    Retype(dialog.DurationEdit(0), "1s");
    Retype(dialog.DurationEdit(1), "3s");
    dialog.KeyframeTable()->setCurrentCell(2, 0);
    ClickButton(dialog.UpButton());
    auto names = [&dialog] {
        std::string order;
        for (const AnimationKeyframe& k : dialog.Keyframes()) order += k.name;
        return order;
    };
    EXPECT_EQ(names(), "acb");
    EXPECT_EQ(dialog.KeyframeTable()->item(1, 0)->text(), "c (1200 \u00d7 900)");
    EXPECT_EQ(dialog.Plan().durations, (std::vector<double>{1.0, 3.0}));
    EXPECT_EQ(dialog.Summary()->text(), "121 frames, 4 seconds");
    ClickButton(dialog.RemoveButton());  // c, the selected one
    EXPECT_EQ(names(), "ab");
    EXPECT_EQ(dialog.Plan().durations, (std::vector<double>{1.0}));
    EXPECT_EQ(dialog.DurationEdit(1), nullptr) << "the last keyframe has no interval after it";
}

TEST(ExportAnimationDialog, AFileThatCarriesNoFigureIsNotAKeyframe) {
    TempDir dir;
    WriteFigure(dir.File("c.dat"), 4, 0.0);
    WriteBmp(dir.File("picture.bmp"), 4, 4);
    ScriptedPrompts ui;
    CExportAnimationDialog dialog({}, {}, dir.File("anim"), ui);
    ui.openPaths = {dir.File("c.dat"), dir.File("picture.bmp")};
    ClickButton(dialog.AddFileButton());
    ClickButton(dialog.AddFileButton());
    ASSERT_EQ(dialog.Keyframes().size(), 1u);
    EXPECT_EQ(dialog.Keyframes()[0].name, "c.dat");
    EXPECT_EQ(dialog.Keyframes()[0].figure.m_nUn, 4);
    ASSERT_EQ(ui.Texts().size(), 1u);
    EXPECT_EQ(
        ui.Texts()[0].rfind("Cannot take " + dir.File("picture.bmp") + " as a keyframe:\n", 0), 0u);
}

TEST(AnimationPreview, PlaysTheFramesAtASmallSizeLoopsAndPauses) {
    ScriptedPrompts ui;
    CExportAnimationDialog dialog(TwoKeyframes(), {}, "/tmp/zoom", ui);
    Retype(dialog.DurationEdit(0), "0.2s");
    dialog.FpsEdit()->setValue(10);
    ClickButton(dialog.PreviewButton());
    CAnimationPreview* preview = dialog.Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->PreviewPlan().width, 480);
    EXPECT_EQ(preview->PreviewPlan().height, 360);
    EXPECT_TRUE(preview->IsPlaying());
    // Three frames, shown in turn and from the first again.
    std::vector<std::int64_t> seen{preview->Frame()};
    for (int i = 0; i < 400 && seen.size() < 5; ++i) {
        QTest::qWait(5);
        if (preview->Frame() != seen.back()) seen.push_back(preview->Frame());
    }
    EXPECT_EQ(seen, (std::vector<std::int64_t>{0, 1, 2, 0, 1}));

    ClickButton(preview->PlayButton());
    EXPECT_FALSE(preview->IsPlaying());
    EXPECT_EQ(preview->PlayButton()->text(), "&Play");
    preview->PositionSlider()->setValue(2);
    EXPECT_EQ(preview->Frame(), 2);
    EXPECT_EQ(preview->FrameLabel()->text(), "Frame 3 of 3");
    DibHandle expected;
    ASSERT_TRUE(PaintAnimationFrame(preview->PreviewPlan(), 2, expected, ui));
    EXPECT_EQ(std::memcmp(preview->Picture()->Bytes(), expected->Bytes(), expected->Size()), 0);
}

TEST_F(AppFixture, TheOpenFiguresAreTheKeyframesInWindowOrder) {
    WriteFigure(dir.File("b.dat"), 3, 0.0);
    WriteFigure(dir.File("a.dat"), 5, 1.0);
    WriteBmp(dir.File("pic.bmp"), 4, 4);
    ASSERT_TRUE(Start({File("b.dat"), File("pic.bmp"), File("a.dat")}));
    app->OpenWindow(*app->Documents().front());  // b twice: one keyframe
    // The windows' order, not the order they were last active in.
    QMdiArea& area = *Frame().MdiArea();
    for (int window : {2, 3, 0}) area.setActiveSubWindow(area.subWindowList()[window]);
    bool answered = false;
    const QString path = File("b.mp4");
    AnswerNextModal<CExportAnimationDialog>([&answered, path](CExportAnimationDialog& dialog) {
        answered = true;
        ASSERT_EQ(dialog.Keyframes().size(), 2u);
        EXPECT_EQ(dialog.Keyframes()[0].name, "b");
        EXPECT_EQ(dialog.Keyframes()[0].figure.m_nUn, 3);
        EXPECT_EQ(dialog.Keyframes()[1].name, "a");
        EXPECT_EQ(dialog.Keyframes()[1].figure.m_nUn, 5);
        EXPECT_EQ(dialog.PictureNote()->text(),
                  "A picture cannot be a keyframe, only a figure: pic left out.");
        EXPECT_EQ(dialog.WidthEdit()->value(), 1200);
        EXPECT_EQ(dialog.PathEdit()->text(), path);
        ClickCancel(dialog);
    });
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_ANIMATION));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(Frame().findChildren<CAnimationExport*>().isEmpty()) << "Cancel exports nothing";
}

TEST_F(AppFixture, AnAnimatedPngThroughTheDialogHasEveryFrame) {
    WriteFigure(dir.File("a.dat"), 3, 0.0);
    WriteFigure(dir.File("b.dat"), 5, 1.0);
    ASSERT_TRUE(Start({File("a.dat"), File("b.dat")}));
    const std::string path = dir.File("anim.png");
    AnimationPlan plan;
    AnswerNextModal<CExportAnimationDialog>([&](CExportAnimationDialog& dialog) {
        Retype(dialog.DurationEdit(0), "0.5s");
        Type(dialog.FpsEdit(), "8");
        Type(dialog.WidthEdit(), "64");
        Type(dialog.HeightEdit(), "48");
        dialog.EasingChoice()->setCurrentIndex(1);
        ChooseKind(dialog, AnimationKind::AnimatedPng);
        Retype(dialog.PathEdit(), QString::fromStdString(path));
        plan = dialog.Plan();
        ClickOk(dialog);
    });
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_ANIMATION));
    const auto jobs = Frame().findChildren<CAnimationExport*>();
    ASSERT_EQ(jobs.size(), 1);
    QSignalSpy finished(jobs[0], &CAnimationExport::finished);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(StreamResult::Written));
    EXPECT_TRUE(prompts.Texts().empty());

    EXPECT_EQ(plan.easing, Easing::EaseInOut);
    ASSERT_EQ(FrameCount(plan), 5);
    EXPECT_EQ(ApngFrames(ReadFile(path)), std::make_pair(5u, 5));
    DibHandle first, expected;
    PictureSize size;
    ASSERT_TRUE(PngReadPixels(path, first, size, prompts));
    ASSERT_TRUE(PaintAnimationFrame(plan, 0, expected, prompts));
    ASSERT_EQ(first->Size(), expected->Size());
    EXPECT_EQ(std::memcmp(first->Bytes(), expected->Bytes(), expected->Size()), 0);
}

// A long animation, so that it is still running when it is stopped.
AnimationPlan LongPlan() {
    AnimationPlan plan;
    for (const AnimationKeyframe& k : TwoKeyframes(1920, 1080)) plan.keyframes.push_back(k.figure);
    plan.durations = {60.0};
    plan.width = 1920;
    plan.height = 1080;
    return plan;
}

// Every kind: the older file (for frames, an older first frame) is left as it was, and nothing
// else is left behind.
TEST(AnimationExport, CancelLeavesNoFileAndTheOlderOneIntact) {
    const std::pair<const char*, const char*> kinds[] = {{"anim.png", "anim.png"},
                                                         {"anim.mp4", "anim.mp4"},
                                                         {"anim.webm", "anim.webm"},
                                                         {"f%05d.png", "f00000.png"}};
    for (const auto& [name, older] : kinds) {
        SCOPED_TRACE(name);
        TempDir dir;
        ScriptedPrompts ui;
        QWidget parent;
        std::ofstream(dir.File(older), std::ios::binary) << "older file";
        auto* job = new CAnimationExport(LongPlan(), dir.File(name), 2, ui, &parent);
        QSignalSpy finished(job, &CAnimationExport::finished);
        EXPECT_TRUE(job->Progress()->isVisible());
        QPointer<CAnimationExport> running = job;
        QTest::qWait(300);  // under way
        ASSERT_FALSE(running.isNull()) << (ui.Texts().empty() ? "" : ui.Texts()[0]);
        QTest::mouseClick(job->Progress()->findChild<QPushButton*>(), Qt::LeftButton);
        ASSERT_TRUE(finished.wait(60000));
        EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(StreamResult::Cancelled));
        EXPECT_EQ(ReadFile(dir.File(older)), "older file");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
        EXPECT_TRUE(ui.Texts().empty()) << "a cancel says nothing";
    }
}

TEST_F(AppFixture, QuittingDuringAnAnimationExportAsksFirst) {
    ASSERT_TRUE(Start());
    QPointer<CAnimationExport> job =
        new CAnimationExport(LongPlan(), dir.File("anim.png"), 1, prompts, &Frame());
    prompts.answers = {IDNO};
    EXPECT_FALSE(Frame().close());
    EXPECT_EQ(prompts.Texts(),
              std::vector<std::string>{"An export is still running. Stop it and quit?"});
    ASSERT_FALSE(job.isNull());
    EXPECT_TRUE(job->IsRunning());

    prompts.answers = {IDYES};
    EXPECT_TRUE(Frame().close());
    EXPECT_TRUE(job.isNull());
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "profile.ini");
}

}  // namespace
