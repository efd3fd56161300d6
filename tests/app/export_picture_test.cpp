// File > Export Picture...: the dialog's size and kind, the background painting with its progress
// dialog, Cancel, and the file it writes.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "app/export_picture.h"
#include "document/dib_doc.h"
#include "document/poster_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void ChooseKind(CExportPictureDialog& dialog, int fileKind) {
    dialog.KindChoice()->setCurrentIndex(dialog.KindChoice()->findData(fileKind));
}

TEST(ExportPictureDialog, AFactorScalesTheCurrentPictureAndSizesAreTakenAsGiven) {
    ScriptedPrompts ui;
    CExportPictureDialog dialog(1200, 900, 75, ui);
    ExportRequest r = dialog.Request();
    EXPECT_EQ(r.width, 1200);
    EXPECT_EQ(r.height, 900);
    EXPECT_EQ(r.fileKind, FILE_KIND_PNG);
    EXPECT_EQ(r.quality, 75);
    EXPECT_FALSE(dialog.QualityEdit()->isEnabled()) << "quality is for JPEG only";
    ChooseKind(dialog, FILE_KIND_JPG);
    EXPECT_TRUE(dialog.QualityEdit()->isEnabled());

    dialog.FactorChoice()->setChecked(true);
    EXPECT_FALSE(dialog.WidthEdit()->isEnabled());
    dialog.FactorEdit()->setValue(2.5);
    r = dialog.Request();
    EXPECT_EQ(r.width, 3000);
    EXPECT_EQ(r.height, 2250);
    dialog.FactorEdit()->setValue(0.01);
    r = dialog.Request();
    EXPECT_EQ(r.width, 12);
    EXPECT_EQ(r.height, 9);

    dialog.SizeChoice()->setChecked(true);
    dialog.WidthEdit()->setValue(640);
    dialog.HeightEdit()->setValue(7);
    r = dialog.Request();
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(r.height, 7);
}

TEST(ExportPictureDialog, ThePrintResolutionIsForPngOnly) {
    ScriptedPrompts ui;
    CExportPictureDialog dialog(1200, 900, 75, ui);
    EXPECT_TRUE(dialog.DpiEdit()->isEnabled());
    EXPECT_EQ(dialog.Request().dotsPerInch, 0) << "none unless asked";
    dialog.DpiEdit()->setValue(300);
    EXPECT_EQ(dialog.Request().dotsPerInch, 300);
    ChooseKind(dialog, FILE_KIND_BMP);
    EXPECT_FALSE(dialog.DpiEdit()->isEnabled());
    EXPECT_EQ(dialog.Request().dotsPerInch, 0);
}

TEST(ExportPictureDialog, SizesTheKindCannotHoldAreRefusedAndTheDialogStaysOpen) {
    ScriptedPrompts ui;
    CExportPictureDialog dialog(1200, 900, 90, ui);
    dialog.show();
    ChooseKind(dialog, FILE_KIND_JPG);
    dialog.WidthEdit()->setValue(70000);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    ASSERT_EQ(ui.Texts().size(), 1u);
    EXPECT_EQ(ui.Texts()[0],
              "Cannot export 70000 x 900: a JPEG picture has at most 65500 pixels a side, not "
              "70000x900");
    ChooseKind(dialog, FILE_KIND_PNG);  // PNG holds it
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ui.Texts().size(), 1u);
}

// Types text into a spin box as the user does, over what it showed.
void Type(QAbstractSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// The dialog's box labelled `label`; the factor's is chosen first.
QAbstractSpinBox* Box(CExportPictureDialog& dialog, const std::string& label) {
    if (label == "Factor") {
        dialog.FactorChoice()->setChecked(true);
        return dialog.FactorEdit();
    }
    if (label == "JPEG quality") return dialog.QualityEdit();
    return label == "Width" ? dialog.WidthEdit() : dialog.HeightEdit();
}

TEST(ExportPictureDialog, FieldsOutOfTheirRangeAreRefusedLikeInTheOtherDialogs) {
    const std::string side = "Please enter a whole number from 1 to 2147483647 in ";
    const std::string quality = "Please enter a whole number from 0 to 100 in \"JPEG quality\".";
    const std::string factor = "Please enter a number from 0.01 to 1000 in \"Factor\".";
    struct Case {
        int kind;
        std::string box;
        QString text;
        std::vector<std::string> messages;  // none: accepted
    };
    const std::vector<Case> cases = {
        {FILE_KIND_PNG, "Width", "-5", {side + "\"Width\"."}},
        {FILE_KIND_PNG, "Height", "0", {side + "\"Height\"."}},
        {FILE_KIND_PNG, "Width", "", {side + "\"Width\"."}},
        {FILE_KIND_PNG, "Factor", "-5", {factor}},
        {FILE_KIND_JPG, "JPEG quality", "-3", {quality}},
        {FILE_KIND_JPG, "JPEG quality", "101", {quality}},
        {FILE_KIND_PNG, "JPEG quality", "101", {}},  // a quality a PNG does not use
        {FILE_KIND_JPG, "JPEG quality", "0", {}},    // as Picture > Jpeg Quality takes it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box + " " + c.text.toStdString());
        ScriptedPrompts ui;
        CExportPictureDialog dialog(1200, 900, 90, ui);
        dialog.show();
        ChooseKind(dialog, c.kind);
        QAbstractSpinBox* box = Box(dialog, c.box);
        if (box->isEnabled()) Type(box, c.text);
        if (!box->isEnabled()) static_cast<QSpinBox*>(box)->setValue(c.text.toInt());  // no typing
        dialog.accept();
        EXPECT_TRUE(c.messages.empty() ? dialog.result() == QDialog::Accepted : dialog.isVisible());
        EXPECT_EQ(ui.Texts(), c.messages);
    }
}

class BackgroundExport : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(doc.OnNewDocument()); }

    // Starts the export and returns it (it deletes itself when done).
    CPictureExport* Start(int width, int height, int fileKind, const std::string& path) {
        ExportRequest request{width, height, fileKind, 90};
        return new CPictureExport(doc.m_figure, -1, request, path, doc.PictureParameterText(), 2,
                                  ui, &parent);
    }

    TempDir dir;
    ScriptedPrompts ui;
    CDibDoc doc{ui};
    QWidget parent;
};

TEST_F(BackgroundExport, WritesThePosterWhileTheEventLoopRuns) {
    const std::string path = dir.File("export.bmp");
    CPictureExport* job = Start(900, 700, FILE_KIND_BMP, path);
    QSignalSpy finished(job, &CPictureExport::finished);
    EXPECT_TRUE(job->Progress()->isVisible());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(StreamResult::Written));
    auto figure = std::make_unique<FigureEngine>(doc.m_figure);
    figure->m_nWidth = 900;
    figure->m_nHeight = 700;
    const std::string expected = dir.File("expected.bmp");
    ASSERT_EQ(WritePosterFile(*figure, -1, expected, FILE_KIND_BMP, 90, "", 1, ui),
              StreamResult::Written);
    EXPECT_TRUE(ReadFile(path) == ReadFile(expected));
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(BackgroundExport, CancelLeavesNoFileAndTheOlderOneIntact) {
    const std::string path = dir.File("export.png");
    std::ofstream(path, std::ios::binary) << "older file";
    CPictureExport* job = Start(9000, 7000, FILE_KIND_PNG, path);
    QSignalSpy finished(job, &CPictureExport::finished);
    QTest::mouseClick(job->Progress()->findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(StreamResult::Cancelled));
    EXPECT_EQ(ReadFile(path), "older file");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(ui.Texts().empty()) << "a cancel says nothing";
}

// A missing folder, and one that takes no files (here a plain file where the folder should be,
// which refuses every user), name their cause.
TEST_F(BackgroundExport, AFailureIsReportedOnceOnTheUserInterfaceThread) {
    std::ofstream(dir.File("plain"), std::ios::binary) << "not a folder";
    const struct {
        std::string file;
        int kind;
        std::string cause;
    } cases[] = {{"missing folder/export.jpg", FILE_KIND_JPG, "No such file or directory"},
                 {"plain/export.png", FILE_KIND_PNG, "Not a directory"}};
    for (const auto& c : cases) {
        ui.Clear();
        const std::string path = dir.File(c.file);
        CPictureExport* job = Start(300, 200, c.kind, path);
        QSignalSpy finished(job, &CPictureExport::finished);
        ASSERT_TRUE(finished.wait(60000));
        EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(StreamResult::Failed));
        EXPECT_EQ(ui.Texts(),
                  std::vector<std::string>{"Failed to write: " + path + "\n" + c.cause});
    }
}

}  // namespace
