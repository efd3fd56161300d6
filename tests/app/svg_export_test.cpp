// The desktop side of the SVG export: the dialog, File > Export SVG... on a real view, and the
// exported files rendered by rsvg-convert against the painted picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>
#include <cmath>
#include <fstream>

#include "app/svg_export_dialog.h"
#include "app_fixture.h"
#include "document/svg_export.h"
#include "support/svg_reader.h"
#include "view/command_ids.h"

namespace {

struct XmlSummary {
    bool wellFormed = false;
    QStringList layers;
    int paths = 0;
};

// Reads the file with Qt's XML reader: well-formedness, layer labels and path count.
XmlSummary ReadXml(const QString& path) {
    QFile file(path);
    XmlSummary summary;
    if (!file.open(QIODevice::ReadOnly)) return summary;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("g") &&
            attributes.value("inkscape:groupmode") == QLatin1String("layer")) {
            summary.layers << attributes.value("inkscape:label").toString();
        }
        summary.paths += xml.name() == QLatin1String("path");
    }
    summary.wellFormed = !xml.hasError();
    return summary;
}

// Fills the export dialog once it is shown, then presses OK.
void AnswerExportDialog(const QString& path, bool plotter, const QString& width = {}) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<CSvgExportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->PathEdit()->setText(path);
        dialog->PlotterBox()->setChecked(plotter);
        dialog->WidthEdit()->setText(width);
        dialog->accept();
        if (dialog->isVisible()) dialog->reject();
    });
}

// Mean over 4 x 4 blocks: the picture reduced to a quarter of its width and height.
std::vector<double> Quarter(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<double> out;
    for (int y = 0; y + 4 <= rgb.height(); y += 4) {
        for (int x = 0; x + 4 <= rgb.width(); x += 4) {
            for (int channel = 0; channel < 3; ++channel) {
                double sum = 0;
                for (int dy = 0; dy < 4; ++dy) {
                    const uchar* row = rgb.constScanLine(y + dy);
                    for (int dx = 0; dx < 4; ++dx) sum += row[3 * (x + dx) + channel];
                }
                out.push_back(sum / 16);
            }
        }
    }
    return out;
}

// Root-mean-square difference of two pictures reduced to a quarter, as a fraction of 255.
double QuarterRms(const QImage& a, const QImage& b) {
    const std::vector<double> qa = Quarter(a), qb = Quarter(b);
    if (qa.size() != qb.size() || qa.empty()) return 1.0;
    double sum = 0;
    for (std::size_t n = 0; n < qa.size(); ++n) sum += (qa[n] - qb[n]) * (qa[n] - qb[n]);
    return std::sqrt(sum / qa.size()) / 255;
}

// The painted picture against its export rendered by rsvg-convert at the picture's size; 1 when
// rsvg-convert fails or the sizes differ.
double RenderedRms(CDibDoc& doc, const TempDir& dir, ScriptedPrompts& ui) {
    if (!doc.OnSaveDocument(dir.File("picture.bmp")) ||
        !SaveSvgFile(doc.m_figure, {}, dir.File("figure.svg"), ui) ||
        RunCommand("rsvg-convert -w 1200 -h 900 -o '" + dir.File("figure.png") + "' '" +
                   dir.File("figure.svg") + "'") != 0) {
        return 1.0;
    }
    return QuarterRms(QImage(QString::fromStdString(dir.File("picture.bmp"))),
                      QImage(QString::fromStdString(dir.File("figure.png"))));
}

}  // namespace

TEST(SvgExportDialogTest, ChecksNameAndWidthAndAsksBeforeReplacing) {
    TempDir dir;
    ScriptedPrompts ui;
    CSvgExportDialog dialog("", ui);
    dialog.show();
    dialog.accept();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Please give the name of the SVG file.");
    EXPECT_TRUE(dialog.isVisible());

    dialog.PathEdit()->setText(QString::fromStdString(dir.File("figure")));
    dialog.WidthEdit()->setText("400");
    dialog.accept();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text.rfind("The width needs a positive number and a unit", 0), 0u);
    EXPECT_TRUE(dialog.isVisible());

    // An existing file is replaced only after Yes.
    std::ofstream(dir.File("figure.svg")) << "keep";
    dialog.WidthEdit()->setText(" 40cm ");
    dialog.PlotterBox()->setChecked(true);
    ui.answers = {IDNO};
    dialog.accept();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].text,
              dir.File("figure.svg") + " already exists.\nDo you want to replace it?");
    EXPECT_TRUE(dialog.isVisible());
    ui.answers = {IDYES};
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.m_choice.path, dir.File("figure.svg"));  // the extension added
    EXPECT_TRUE(dialog.m_choice.plotter);
    EXPECT_EQ(dialog.m_choice.width, "40cm");
}

// Widths and strokes in any case and with blanks, within their ranges; a hairline choice.
TEST(SvgExportDialogTest, WidthAndStrokeFields) {
    TempDir dir;
    const char* width = "The width needs a positive number and a unit";
    const char* stroke = "The stroke needs hairline, or a number and a unit";
    const struct {
        const char* width;
        const char* stroke;
        const char* refused;  // the start of the message, or null when accepted
    } cases[] = {{"400 MM", "hairline", nullptr}, {"", "0.01mm", nullptr},  {"1e308mm", "", width},
                 {"0.004mm", "", width},          {"", "0.0001mm", stroke}, {"", "thin", stroke}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.width) + " / " + c.stroke);
        ScriptedPrompts ui;
        CSvgExportDialog dialog(dir.File("figure.svg"), ui);
        dialog.show();
        EXPECT_NE(dialog.StrokeBox()->findText("hairline"), -1);
        dialog.WidthEdit()->setText(c.width);
        dialog.StrokeBox()->setCurrentText(c.stroke);
        dialog.accept();
        EXPECT_EQ(dialog.isVisible(), c.refused != nullptr);
        if (c.refused != nullptr) {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text.rfind(c.refused, 0), 0u) << ui.messages[0].text;
        } else {
            EXPECT_EQ(dialog.m_choice.width, c.width);
            EXPECT_EQ(dialog.m_choice.stroke, c.stroke);
        }
    }
}

TEST(SvgExportDialogTest, BrowseTakesThePathFromTheFileDialog) {
    ScriptedPrompts ui;
    CSvgExportDialog dialog("figure.svg", ui);
    ui.savePaths = {"/tmp/chosen.svg"};
    QMetaObject::invokeMethod(dialog.findChild<QPushButton*>(), "click");
    EXPECT_EQ(dialog.PathEdit()->text(), "/tmp/chosen.svg");
    ui.savePaths.clear();  // Cancel keeps the path
    QMetaObject::invokeMethod(dialog.findChild<QPushButton*>(), "click");
    EXPECT_EQ(dialog.PathEdit()->text(), "/tmp/chosen.svg");
}

TEST_F(AppFixture, ExportSvgWritesThePictureAndThePlotterFile) {
    ASSERT_TRUE(Start());
    CmdUI state;
    state.id = ID_FILE_EXPORT_SVG;
    app->Update(state);
    EXPECT_TRUE(state.enabled);

    AnswerExportDialog(File("picture.svg"), false);
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_SVG));
    const XmlSummary picture = ReadXml(File("picture.svg"));
    EXPECT_TRUE(picture.wellFormed);
    EXPECT_EQ(picture.layers, (QStringList{"Background", "Order 2", "Order 1", "Order 0"}));
    EXPECT_GT(picture.paths, 3000);

    AnswerExportDialog(File("plotter"), true, "400mm");
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_SVG));
    const XmlSummary plotter = ReadXml(File("plotter.svg"));
    EXPECT_TRUE(plotter.wellFormed);
    EXPECT_EQ(plotter.layers.size(), 3);
    for (const QString& layer : plotter.layers)
        EXPECT_TRUE(layer.startsWith(QString::number(plotter.layers.indexOf(layer) + 1) + " #"))
            << layer.toStdString();
    EXPECT_TRUE(prompts.messages.empty());
}

// The export is the picture shown: edits not yet painted (the colour page before Enter) are not
// in it, and an order painted alone is exported alone. The file opens as its figure.
TEST_F(AppFixture, ExportSvgWritesTheAcceptedPictureThatOpensAsItsFigure) {
    ASSERT_TRUE(Start());
    CDibDoc& doc = *app->ActiveDocument();
    doc.m_figure.m_orders[0].drawOrder = 0;
    AnswerExportDialog(File("shown.svg"), false);
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_SVG));
    EXPECT_EQ(ReadXml(File("shown.svg")).layers,
              (QStringList{"Background", "Order 2", "Order 1", "Order 0"}));
    ASSERT_TRUE(doc.RenderFigure(2, true));
    AnswerExportDialog(File("alone.svg"), false);
    ASSERT_TRUE(app->Execute(ID_FILE_EXPORT_SVG));
    EXPECT_EQ(ReadXml(File("alone.svg")).layers, (QStringList{"Background", "Order 2"}));
    SvgFigure carried;
    std::string reason;
    ASSERT_TRUE(ReadSvgFigure(dir.File("alone.svg"), carried, reason)) << reason;
    EXPECT_EQ(carried.parameterText, doc.PictureParameterText());
    EXPECT_EQ(carried.order, 2);

    // File > Open and dropped files open a Dorvanta SVG as its figure, at its size; other SVG
    // files are refused with a message.
    FigureEngine figure;
    figure.m_nWidth = 320;
    figure.m_nHeight = 200;
    figure.m_dMagnExp = -8;
    ASSERT_TRUE(SaveSvgFile(figure, {}, dir.File("fig.svg"), prompts));
    CDibDoc* opened = app->OpenDocumentFile(File("fig.svg"));
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(opened->m_bBitmapMode);
    EXPECT_EQ(opened->m_figure.m_nWidth, 320);
    EXPECT_EQ(opened->m_figure.m_nHeight, 200);
    EXPECT_EQ(opened->m_figure.m_dMagnExp, -8);

    std::ofstream(dir.File("other.svg")) << "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(File("other.svg")), QUrl::fromLocalFile(File("fig.svg"))});
    EXPECT_EQ(Frame().OpenDroppedFiles(dropped), 1);
    EXPECT_TRUE(AnyMessageContains(prompts, "only SVG files written by Dorvanta carry a figure"));
}

TEST_F(AppFixture, ExportSvgIsDisabledForPictureFiles) {
    ASSERT_TRUE(Start());
    WriteBmp(dir.File("picture.bmp"), 40, 30);
    ASSERT_NE(app->OpenDocumentFile(File("picture.bmp")), nullptr);
    CmdUI state;
    state.id = ID_FILE_EXPORT_SVG;
    app->Update(state);
    EXPECT_FALSE(state.enabled);
}

// rsvg-convert renders the export at the picture's size; reduced to a quarter it differs from
// the painted picture by at most 4 % (root mean square). Zoomed out, rsvg-convert renders the
// file at once. Far out the picture is one dot and the file matches it; a few halvings out the
// painting is pixel noise (its quarter differs from its own blurred quarter by about 4.5 %) that
// the file gives as its mean colour.
TEST(SvgRenderingTest, LooksLikeThePicture) {
    if (!ProgramAvailable("rsvg-convert")) GTEST_SKIP() << "rsvg-convert is not installed";
    TempDir dir;
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnNewDocument());
    const double shown = doc.m_figure.m_dMagnExp;
    const struct {
        const char* figure;
        double exponent;
        double target;
    } cases[] = {{"default", shown, 0.04},
                 {"far out", -1000, 0.04},
                 {"pixel noise", -12, 0.05},
                 {"lines, stars and reference lines", shown, 0.04}};
    for (const auto& [figure, exponent, target] : cases) {
        SCOPED_TRACE(figure);
        doc.m_figure.m_dMagnExp = exponent;
        if (std::string(figure).rfind("lines", 0) == 0) {
            ASSERT_TRUE(doc.m_figure.MoveReference(1340, ui));
            for (int n : {0, 1, 2}) {
                auto& items = doc.m_figure.m_orders[n].drawItems;
                for (int item : {ITEM_LINES, ITEM_BIG_STAR, ITEM_SMALL_STAR, ITEM_REFERENCE_LINE}) {
                    items[item] = 1;
                }
            }
        }
        ASSERT_TRUE(doc.RenderFigure(-1, false));
        const double rms = RenderedRms(doc, dir, ui);
        EXPECT_LE(rms, target);
        RecordProperty(std::string("rms ") + figure, std::to_string(rms));
        std::printf("%s: quarter RMS %.4f\n", figure, rms);
    }
}

TEST(SvgRenderingTest, HostileFigureStillRenders) {
    if (!ProgramAvailable("rsvg-convert")) GTEST_SKIP() << "rsvg-convert is not installed";
    TempDir dir;
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.m_dMagnExp = 40;
    for (auto& o : doc.m_figure.m_orders) {
        o.drawOrder = 1;
        for (int item = 0; item < 8; ++item) o.drawItems[item] = 1;
    }
    ASSERT_TRUE(SaveSvgFile(doc.m_figure, {}, dir.File("deep.svg"), ui));
    EXPECT_TRUE(ReadXml(QString::fromStdString(dir.File("deep.svg"))).wellFormed);
    EXPECT_EQ(
        RunCommand("rsvg-convert -o '" + dir.File("deep.png") + "' '" + dir.File("deep.svg") + "'"),
        0);
}
