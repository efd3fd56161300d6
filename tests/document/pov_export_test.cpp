#include "document/pov_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document/dib_doc.h"
#include "german_locale_support.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

ShapeRecord Shape(double x, double y, int order, char kind, double size) {
    ShapeRecord r;
    r.x = x;
    r.y = y;
    r.order = static_cast<std::uint8_t>(order);
    r.kind = kind;
    r.size = size;
    return r;
}

void SetShapes(FigureEngine& figure, const std::vector<ShapeRecord>& shapes) {
    for (std::size_t n = 0; n < shapes.size(); ++n) figure.m_shapes[n] = shapes[n];
    figure.m_nShapes = static_cast<int>(shapes.size());
}

std::string Export(FigureEngine& figure, int answer, std::size_t capacity = 399990) {
    ScriptedPrompts ui;
    ui.answers = {answer};
    std::string text = "left over";
    EXPECT_TRUE(MakePovData(figure, text, capacity, ui));
    return text;
}

// The sections between the header and the record lines when there are no records.
const std::string kEmptySections =
    "\r\n// Pentagon Textures declared\r\n"
    "\r\n// Pentagon Vertical Positions\r\n"
    "#declare PentagonVertPos= array [ 10] \r\n"
    "{  0.000000,\r\n  0.000000,\r\n  0.000000,\r\n  0.000000,\r\n  0.000000,\r\n"
    "  0.000000,\r\n  0.000000,\r\n  0.000000,\r\n  0.000000,\r\n  0.000000}\r\n"
    "\r\n// Pentagon Height Array \r\n"
    "#declare PentagonHeight= array [ 10] \r\n"
    "{ 2.500000 ,\r\n 1.666667 ,\r\n 1.250000 ,\r\n 1.000000 ,\r\n 0.833333 ,\r\n"
    " 0.714286 ,\r\n 0.625000 ,\r\n 0.555556 ,\r\n 0.500000 ,\r\n 0.454545 }\r\n"
    "\r\n// Statistics Orders\r\n"
    "\r\n// The following will use the Pentagon macro defined earlier.\r\n";

}  // namespace

TEST(PovExport, HeaderQuestionAndCancel) {
    FigureEngine figure;
    SetShapes(figure, {Shape(0, 0, 3, 'B', 2), Shape(0, 0, 5, 'B', 20)});
    ScriptedPrompts ui;
    ui.answers = {IDCANCEL};
    std::string text = "left over";
    EXPECT_FALSE(MakePovData(figure, text, 399990, ui));
    EXPECT_TRUE(text.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "This operation will put an POV-RAY text file in the copy/paste buffer\nPress "
              "\"YES\" if you want the header included \n(this will give you a complete POV-RAY "
              "file)\nAnd \"NO\" if not.");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(figure.m_shapes[0].overlapMask, 0);  // nothing happens after Cancel
}

TEST(PovExport, NoRecordsGiveOnlyTheSections) {
    FigureEngine figure;
    figure.m_nShapes = 0;
    EXPECT_EQ(Export(figure, IDNO), kEmptySections);
    std::string withHeader = Export(figure, IDYES);
    EXPECT_EQ(withHeader, PovHeader() + kEmptySections);
}

TEST(PovExport, HeaderLines) {
    auto lines = CrLfLines(PovHeader());
    ASSERT_EQ(lines.size(), 86u + 4u);
    EXPECT_EQ(PovHeader().substr(PovHeader().size() - 2), "\r\n");
    EXPECT_EQ(lines[0], "#version 3.1;");
    EXPECT_EQ(lines[1], "#include \"colors.inc\"");
    EXPECT_EQ(lines[7], "//#include \"glass.inc\"");
    EXPECT_EQ(lines[10], "sky_sphere {  S_Cloud2 scale 0.3 }");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[13],
              "plane { <0, 1, 0>  0 texture { checker texture{ T_Grnt16 finish { ambient rgb "
              "<0.2,0.2,0.2> }} ,texture { T_Grnt18 finish { ambient rgb <0.2,0.2,0.2> } } scale "
              "2*ScaleSize }   }");
    EXPECT_EQ(lines[26],
              "#declare BitTest = function( x, y) {odd( div(x,y)) } //Needed in the "
              "Pentagon macro.");
    EXPECT_EQ(lines[39], "light_source {  < 0,  1000, -1200>   color White  /*shadowless*/    }");
    EXPECT_EQ(lines[44],
              "#macro Pentagon( PentaOrder, PentagonBigOrSmall, PentaBitSetOverlap, PentaSize, "
              "PentaHeight, PentaPos, PentaTextureRim, PentaTextureCore)");
    EXPECT_EQ(lines[70],
              "    texture { PentaTextureRim scale 5* PentaSize finish { ambient rgb "
              "<0.4,0.4,0.4> } }  ");
    EXPECT_EQ(lines[85], "#end //#macro Pentagon");
    for (int n = 86; n < 90; ++n) EXPECT_EQ(lines[n], "");
}

TEST(PovExport, DocumentedRecordLine) {
    ShapeRecord r = Shape(1.5, -0.75, 2, 'S', 3.125);
    r.overlapMask = 160;
    EXPECT_EQ(PovRecordLine(r),
              "Pentagon( 2, 1, 160, 3.125000, PentagonHeight[2], <1.500000,PentagonVertPos[2],"
              "-0.750000>, PentaTextureRimSmallRight2, PentaTextureCoreSmallRight2) \r\n");
    EXPECT_EQ(PovRecordLine(Shape(0, 0, 9, 'B', -2)),
              "Pentagon( 9, 0, 0, -2.000000, PentagonHeight[9], <0.000000,PentagonVertPos[9],"
              "0.000000>, PentaTextureRimBigLeft9, PentaTextureCoreBigLeft9) \r\n");
    // Any letter but S is big; a size of 0 is Left.
    EXPECT_NE(PovRecordLine(Shape(0, 0, 0, 'X', 0)).find("PentaTextureRimBigLeft0"),
              std::string::npos);
}

TEST(PovExport, OverlapMaskOfAnOrderThreeRecordOnOrdersFiveAndSeven) {
    FigureEngine figure;
    SetShapes(figure, {
                          Shape(1.5, -0.75, 2, 'S', 3.125),  // lies on 5 and 7 too
                          Shape(0, 0, 3, 'B', 2), Shape(0.5, 0.5, 5, 'B', 20),
                          Shape(-3, 1, 7, 'S', 50), Shape(100, 100, 4, 'B', 20),  // far away
                          Shape(0, 0, 6, 'B', -40),  // negative size: never
                          Shape(0, 0, 1, 'B', 40),   // lower order: never
                          Shape(0, 0, 3, 'S', 40),   // same order: never
                      });
    std::string text = Export(figure, IDNO);
    EXPECT_EQ(figure.m_shapes[1].overlapMask, 160);
    EXPECT_EQ(figure.m_shapes[0].overlapMask, 160 | 8);  // also inside the order 3 pentagon
    EXPECT_EQ(figure.m_shapes[2].overlapMask, 128);
    EXPECT_EQ(figure.m_shapes[3].overlapMask, 0);
    EXPECT_EQ(figure.m_shapes[5].overlapMask, 128);
    EXPECT_EQ(figure.m_shapes[6].overlapMask, 4 | 8 | 32 | 128);
    EXPECT_NE(text.find("Pentagon( 3, 0, 160, 2.000000, "), std::string::npos);
    // A second run adds nothing and gives the same text.
    EXPECT_EQ(Export(figure, IDNO), text);
    EXPECT_EQ(figure.m_shapes[1].overlapMask, 160);
}

TEST(PovExport, CentreOnTheEdgeCountsAsInside) {
    FigureEngine figure;
    // The edge of a pentagon of circumradius 10 pointing towards +x lies at 10 cos 36° along -x.
    SetShapes(figure, {Shape(-8.090169943749475, 0, 0, 'S', 2), Shape(-8.1, 0, 0, 'S', 2),
                       Shape(0, 0, 1, 'B', 10)});
    Export(figure, IDNO);
    EXPECT_EQ(figure.m_shapes[0].overlapMask, 2);
    EXPECT_EQ(figure.m_shapes[1].overlapMask, 0);
}

TEST(PovExport, TexturesAndStatisticsOnlyForOrdersWithRecords) {
    FigureEngine figure;
    SetShapes(figure, {Shape(1.5, -0.75, 2, 'S', 3.125), Shape(9, 9, 2, 'B', -5.2),
                       Shape(0, 0, 0, 'S', 2)});
    std::string text = Export(figure, IDNO);
    const std::string order2 =
        "#declare PentaTextureRimBigLeft2 = T_Grnt4;\r\n"
        "#declare PentaTextureCoreBigLeft2 = T_Stone29;\r\n"
        "#declare PentaTextureRimBigRight2 = T_Grnt4;\r\n"
        "#declare PentaTextureCoreBigRight2 = T_Stone29;\r\n"
        "#declare PentaTextureRimSmallLeft2 = T_Grnt5;\r\n"
        "#declare PentaTextureCoreSmallLeft2 = T_Stone30;\r\n"
        "#declare PentaTextureRimSmallRight2 = T_Grnt5;\r\n"
        "#declare PentaTextureCoreSmallRight2 = T_Stone30;\r\n";
    EXPECT_EQ(text.rfind("\r\n// Pentagon Textures declared\r\n#declare PentaTextureRimBigLeft0 = "
                         "T_Grnt0;\r\n",
                         0),
              0u);
    EXPECT_NE(text.find("T_Stone26;\r\n" + order2 + "\r\n// Pentagon Vertical"), std::string::npos);
    EXPECT_EQ(CountOf(text, "#declare PentaTexture"), 16);
    EXPECT_NE(text.find("\r\n// Statistics Orders\r\n// Order 0 numbers 1\r\n// Order 2 numbers "
                        "2\r\n\r\n// The following"),
              std::string::npos);
    auto lines = CrLfLines(text);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3].substr(0, 40), "Pentagon( 2, 1, 0, 3.125000, PentagonHei");
    EXPECT_NE(lines[lines.size() - 2].find("PentaTextureRimBigLeft2, PentaTextureCoreBigLeft2) "),
              std::string::npos);
    EXPECT_EQ(lines.back().substr(0, 12), "Pentagon( 0,");
}

TEST(PovExport, TruncationKeepsWholeLinesAndNamesTheCapacity) {
    FigureEngine figure;
    std::vector<ShapeRecord> shapes;
    for (int n = 0; n < 50; ++n) shapes.push_back(Shape(n, -n, n % 4, n % 2 ? 'S' : 'B', 2));
    SetShapes(figure, shapes);
    std::string full = Export(figure, IDNO);
    ASSERT_EQ(CountOf(full, "Pentagon("), 50);
    std::size_t fixed = full.find("Pentagon(");
    std::size_t tenLines = full.find("Pentagon(", fixed);
    for (int n = 0; n < 10; ++n) tenLines = full.find("\r\n", tenLines) + 2;
    // Exactly ten lines fit when the text after them may reach capacity - 100.
    std::size_t capacity = tenLines + 100;
    std::string text = Export(figure, IDNO, capacity);
    // The line is a scene comment, so that the cut scene still parses.
    EXPECT_EQ(text, full.substr(0, tenLines) +
                        "\r\n// File truncated due to current buffer size: " +
                        std::to_string(capacity) + " char.\r\n");
    EXPECT_LE(text.size(), capacity);
    text = Export(figure, IDNO, capacity - 1);
    EXPECT_EQ(CountOf(text, "Pentagon("), 9);
    EXPECT_EQ(Export(figure, IDNO, full.size() + 100), full);
    EXPECT_EQ(CountOf(Export(figure, IDNO, full.size() + 99), "Pentagon("), 49);
}

TEST(PovExport, TinyCapacityNeverOverfillsTheBuffer) {
    FigureEngine figure;
    SetShapes(figure, {Shape(0, 0, 0, 'S', 2)});
    for (std::size_t capacity : {0u, 10u, 99u, 100u, 500u}) {
        std::string text = Export(figure, IDYES, capacity);
        EXPECT_LE(text.size(), capacity);
        EXPECT_EQ(text, (PovHeader() + kEmptySections).substr(0, capacity));
    }
}

TEST(PovExport, GermanLocaleStillWritesDecimalPoints) {
    GermanNumbers german;
    if (!german.Active()) GTEST_SKIP() << "no German locale available";
    ShapeRecord r = Shape(1.5, -0.75, 2, 'S', 3.125);
    EXPECT_EQ(PovRecordLine(r).substr(0, 30), "Pentagon( 2, 1, 0, 3.125000, P");
    FigureEngine figure;
    figure.m_nShapes = 0;
    EXPECT_EQ(Export(figure, IDNO), kEmptySections);
}

// The default figure painted at its default size: the scene the desktop program offers first.
TEST(PovExport, DefaultFigureScene) {
    FigureEngine figure;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(figure.m_nWidth) * 3 *
                                     figure.m_nHeight);
    figure.m_nRowBytes = figure.m_nWidth * 3;
    ScriptedPrompts ui;
    figure.PaintFigure(pixels.data(), -1, ui);
    ASSERT_EQ(figure.m_nShapes, 2530);
    std::string text = Export(figure, IDYES);
    EXPECT_EQ(CountOf(text, "\r\nPentagon("), 2530);
    EXPECT_NE(text.find("\r\n// Statistics Orders\r\n// Order 0 numbers 1939\r\n// Order 1 numbers "
                        "308\r\n// Order 2 numbers 283\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("File truncated"), std::string::npos);
    EXPECT_EQ(CountOf(text, "#declare PentaTexture"), 24);
    EXPECT_LT(text.size(), 399990u - 100u);
    // Painting order: order 2's records come first, order 0's last.
    EXPECT_EQ(figure.m_shapes[0].order, 2);
    EXPECT_EQ(figure.m_shapes[2529].order, 0);
    if (const char* path = std::getenv("DORVANTA_POV_OUT")) {  // for rendering by hand
        std::ofstream(path, std::ios::binary) << text;
    }
}

// ---- The camera of a moved view ----

namespace {

// The lines of a moved view's header that differ from the classic one, in order.
const std::vector<std::string> kMovedCameraLines = {
    "#declare ViewCentre = <25.500000, 0, -40.250000>;   // centre of the exported view",
    "   location ViewCentre + CamRad*< cos( phi)*sin(theta), cos(theta), sin( phi)*sin( theta) >",
    "   look_at ViewCentre + < 0, 4, 0>",
    "light_source {  ViewCentre + < 0,  1000, -1200>   color White  /*shadowless*/    }",
    "light_source {  ViewCentre + < 1000,  1000, +1200>   color White  /*shadowless*/    }",
};

// Paints a new document's figure around (1000.5, −2000.25), far from the origin.
void PaintAroundAFarCentre(CDibDoc& doc) {
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_figure.m_dCentreX = 1000.5;
    doc.m_figure.m_dCentreY = -2000.25;
    ASSERT_NE(doc.PreparePicture(false), 0);
}

std::vector<std::string> LinesNotIn(const std::vector<std::string>& lines,
                                    const std::vector<std::string>& others) {
    std::vector<std::string> missing;
    for (const auto& line : lines)
        if (std::find(others.begin(), others.end(), line) == others.end()) missing.push_back(line);
    return missing;
}

}  // namespace

TEST(PovCamera, TheDefaultViewKeepsTheClassicHeaderByteForByte) {
    EXPECT_EQ(PovHeader({0.0, 0.0}), PovHeader());
    EXPECT_EQ(PovHeader({-0.0, 0.0}), PovHeader());
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnNewDocument());
    ui.answers = {IDYES};
    std::string text;
    ASSERT_TRUE(doc.MakePovData(text, 399990));
    EXPECT_EQ(text.substr(0, PovHeader().size()), PovHeader());
}

TEST(PovCamera, AMovedViewAimsCameraAndLightsAtItsCentre) {
    auto classic = CrLfLines(PovHeader());
    auto moved = CrLfLines(PovHeader({25.5, -40.25}));
    EXPECT_EQ(moved.size(), classic.size() + 1);
    EXPECT_EQ(LinesNotIn(moved, classic), kMovedCameraLines);
    // The declaration comes before its first use.
    auto declared = std::find(moved.begin(), moved.end(), kMovedCameraLines[0]);
    auto used = std::find(moved.begin(), moved.end(), kMovedCameraLines[1]);
    EXPECT_LT(declared, used);
    EXPECT_EQ(LinesNotIn(classic, moved),
              (std::vector<std::string>{
                  "   location CamRad*< cos( phi)*sin(theta), cos(theta), sin( phi)*sin( theta) >",
                  "   look_at < 0, 4, 0>",
                  "light_source {  < 0,  1000, -1200>   color White  /*shadowless*/    }",
                  "light_source {  < 1000,  1000, +1200>   color White  /*shadowless*/    }"}));
}

TEST(PovCamera, TheDocumentAimsAtThePaintedCentreNotAWorkingOne) {
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_NO_FATAL_FAILURE(PaintAroundAFarCentre(doc));
    ASSERT_GT(doc.m_figure.m_nShapes, 0);
    // Keys move the working centre before the next painting; the records still show this one.
    doc.m_figure.m_dCentreX = 99.0;
    ui.answers = {IDYES};
    std::string text;
    ASSERT_TRUE(doc.MakePovData(text, 399990));
    auto lines = CrLfLines(text);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "#declare ViewCentre = <1000.500000, 0, -2000.250000>;   // centre of the "
                        "exported view"),
              lines.end());
    EXPECT_EQ(text.substr(0, PovHeader({1000.5, -2000.25}).size()), PovHeader({1000.5, -2000.25}));
    // The records are the pentagons around that centre, far from the origin the classic camera
    // looks at.
    double lowX = 1e300, highX = -1e300, lowY = 1e300, highY = -1e300;
    for (int n = 0; n < doc.m_figure.m_nShapes; ++n) {
        const ShapeRecord& r = doc.m_figure.m_shapes[n];
        lowX = std::min(lowX, r.x), highX = std::max(highX, r.x);
        lowY = std::min(lowY, r.y), highY = std::max(highY, r.y);
    }
    const PictureTransform& view = doc.m_figure.m_transform;
    double width = std::abs(view.highX - view.lowX);
    EXPECT_NEAR((lowX + highX) / 2, 1000.5, width / 10);
    EXPECT_NEAR((lowY + highY) / 2, -2000.25, width / 10);
}

// ---- The scene in a real POV-Ray (skipped where it is not installed) ----

namespace {

bool PovRayInstalled() {
    return std::system("command -v povray >/dev/null 2>&1") == 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Renders scene to a small PPM picture; its pixel bytes (without the header, which carries the
// time of the rendering), empty when POV-Ray failed. POV-Ray's messages go to name.log.
std::string Render(const TempDir& dir, const std::string& name, const std::string& scene) {
    std::string pov = dir.File(name + ".pov"), picture = dir.File(name + ".ppm");
    std::ofstream(pov, std::ios::binary) << scene;
    std::string command = "povray +I'" + pov + "' +O'" + picture + "' +W64 +H48 -D +FP -GA >'" +
                          dir.File(name + ".log") + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "";
    std::string bytes = ReadAll(picture);
    const std::string headerEnd = "\n64 48\n255\n";
    std::size_t pixels = bytes.find(headerEnd);
    return pixels == std::string::npos ? "" : bytes.substr(pixels + headerEnd.size());
}

}  // namespace

TEST(PovRayScene, ACutSceneOfAMovedViewParsesAndShowsItsPentagons) {
    if (!PovRayInstalled()) GTEST_SKIP() << "povray is not installed";
    ScriptedPrompts ui;
    CDibDoc doc(ui);
    ASSERT_NO_FATAL_FAILURE(PaintAroundAFarCentre(doc));
    ui.answers = {IDYES, IDYES};
    std::string cut, none;
    // Room for the header, the sections and some records: the text ends with the truncation.
    ASSERT_TRUE(doc.MakePovData(cut, PovHeader({1000.5, -2000.25}).size() + 60000));
    ASSERT_NE(cut.find("// File truncated due to current buffer size"), std::string::npos);
    const std::string lastSection =
        "// The following will use the Pentagon macro defined earlier.\r\n";
    std::string withoutRecords = cut.substr(0, cut.find(lastSection) + lastSection.size());
    TempDir dir;
    // POV-Ray reports an include file it cannot find only as "Cannot parse input".
    std::string includes;
    for (const auto& line : CrLfLines(PovHeader()))
        if (line.rfind("#include", 0) == 0) includes += line + "\r\n";
    ASSERT_FALSE(Render(dir, "includes", includes).empty())
        << "POV-Ray cannot read its standard include files (Debian ships them in povray-includes)";
    std::string scene = Render(dir, "cut", cut);
    std::string empty = Render(dir, "empty", withoutRecords);
    ASSERT_FALSE(scene.empty()) << "POV-Ray refused the scene:\n" << ReadAll(dir.File("cut.log"));
    ASSERT_FALSE(empty.empty());
    // The camera sees the pentagons: the pictures with and without them differ.
    EXPECT_TRUE(scene != empty) << "the camera sees no pentagon";
}
