// The SVG export read back: layers and items, coordinates against the figure's own geometry,
// colours, gradients, clipping, the plotter's merged and ordered strokes, hostile figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "document/svg_export.h"
#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"
#include "support/svg_reader.h"
#include "support/temp_dir.h"

namespace {

constexpr double kPhiValue = 1.618033988749895;

std::string Hex(std::uint32_t dibColour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", dibColour & 0xffffff);
    return text;
}

int Channel(std::uint32_t colour, int shift) {
    return (colour >> shift) & 0xff;
}

// The order of the layer an element lies in ("Order 2"), or -1.
int OrderOf(const SvgDocument& svg, const SvgElement& e) {
    if (e.layer < 0 || svg.layers[e.layer].rfind("Order ", 0) != 0) return -1;
    return std::stoi(svg.layers[e.layer].substr(6));
}

bool IsFill(const SvgElement& e) {
    return e.name == "path" && !e.Attribute("fill").empty() && e.Attribute("fill") != "none";
}

// User units back to figure coordinates (the inverse of the export's mapping).
FigurePoint ToFigure(const FigureEngine& f, SvgPoint p) {
    const PictureTransform& t = f.m_transform;
    return {(p.x - 0.5 - t.halfWidth) / t.scale + f.m_dCentreX,
            (f.m_nHeight - 0.5 - p.y - t.halfHeight) / t.scale + f.m_dCentreY};
}

// The series of one order, built on a copy of the figure.
std::unique_ptr<FigureEngine> SeriesOf(const FigureEngine& figure, int order) {
    auto copy = std::make_unique<FigureEngine>(figure);
    ScriptedPrompts ui;
    copy->m_orderScale = GoldenInt::Power(kGoldenPhi, order);
    EXPECT_TRUE(copy->BuildSeries(ui));
    return copy;
}

// Distance from position to the nearest series value.
double OffSeries(const FigureEngine& series, double position) {
    const int index = series.FindInSeries(position).index;
    double best = HUGE_VAL;
    for (int j = std::max(index - 1, series.m_nFirst); j <= std::min(index + 1, series.m_nLast);
         ++j) {
        best = std::min(best, std::fabs(series.m_values[j] - position));
    }
    return best;
}

class SvgExportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(doc.OnNewDocument()); }

    SvgDocument Export(const SvgOptions& options = {}, PlotterStats* stats = nullptr) {
        text = MakeSvg(doc.m_figure, options, ui, stats);
        SvgDocument svg = ReadSvg(text);
        EXPECT_TRUE(svg.wellFormed) << svg.error;
        return svg;
    }

    // Orders 0 and 1 with lines, stars and reference lines besides the default items.
    void SwitchOnLinesAndStars() {
        // The reference element moved into the picture: every order has it at one position.
        ASSERT_TRUE(doc.m_figure.MoveReference(1340, ui));
        for (int n : {0, 1}) {
            auto& items = doc.m_figure.m_orders[n].drawItems;
            for (int item : {ITEM_LINES, ITEM_BIG_STAR, ITEM_SMALL_PENTAGON, ITEM_SMALL_STAR,
                             ITEM_REFERENCE_LINE}) {
                items[item] = 1;
            }
        }
        ASSERT_TRUE(doc.RenderFigure(-1, false));
    }

    ScriptedPrompts ui;
    CDibDoc doc{ui};
    std::string text;
};

TEST(SvgNumber, KeepsHundredthsAndDropsTrailingZeros) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{12.3, "12.3"},      {5.0, "5"},     {-0.25, "-0.25"}, {-0.001, "0"},
                 {123.456, "123.46"}, {1200, "1200"}, {0.004, "0"},     {-7.999, "-8"}};
    for (const auto& c : cases) EXPECT_EQ(SvgNumber(c.value), c.text) << c.value;
}

TEST(SvgLength, ReadsPositiveLengthsWithAUnit) {
    const struct {
        const char* text;
        bool ok;
        double millimetres;
    } cases[] = {{"400mm", true, 400},  {"21.5cm", true, 215},   {"8in", true, 203.2},
                 {"72pt", true, 25.4},  {"96px", true, 25.4},    {"400", false, 0},
                 {"-3mm", false, 0},    {"0mm", false, 0},       {"mm", false, 0},
                 {"4e400mm", false, 0}, {"400 mm", true, 400},   {"400km", false, 0},
                 {"400MM", true, 400},  {" 8 In ", true, 203.2}, {"1e308mm", true, 1e308}};
    for (const auto& c : cases) {
        SvgLength length;
        EXPECT_EQ(ParseSvgLength(c.text, length), c.ok) << c.text;
        if (c.ok) {
            EXPECT_NEAR(LengthInMillimetres(length), c.millimetres, 1e-9 * c.millimetres) << c.text;
        }
    }
}

// Per row: whether the text is a width, and the stroke in millimetres it gives (-1: refused).
TEST(SvgLength, WidthsAndStrokesStayWithinTheirRanges) {
    const double hair = kSvgHairlineMm;
    const struct {
        const char* text;
        bool width;
        double strokeMm;
    } cases[] = {{"0.1mm", true, 0.1},      {"0.09mm", false, 0.09},     {"10000cm", true, -1},
                 {"10001cm", false, -1},    {"1e308mm", false, -1},      {"1e-300mm", false, -1},
                 {"0.004mm", false, 0.004}, {"0.0009mm", false, -1},     {"10mm", true, 10},
                 {"hairline", false, hair}, {" HairLine ", false, hair}, {"11 MM", true, -1},
                 {"hair line", false, -1},  {"0.01", false, -1}};
    for (const auto& c : cases) {
        SvgLength length;
        EXPECT_EQ(ParseSvgWidth(c.text, length), c.width) << c.text;
        double mm = -1;
        EXPECT_EQ(ParseSvgStroke(c.text, mm), c.strokeMm >= 0) << c.text;
        if (c.strokeMm >= 0) {
            EXPECT_NEAR(mm, c.strokeMm, 1e-12) << c.text;
        }
    }
}

// Straight interpolation between the stops against the raster's mix, channel by channel.
int WorstStopError(const std::vector<SvgGradientStop>& stops, std::uint32_t solid,
                   std::uint32_t outline, double reach, bool radial) {
    int worst = 0;
    for (int n = 0; n <= 4000; ++n) {
        const double offset = n / 4000.0;
        auto next =
            std::lower_bound(stops.begin(), stops.end(), offset,
                             [](const SvgGradientStop& s, double o) { return s.offset < o; });
        if (next == stops.begin()) ++next;
        if (next == stops.end()) --next;
        const SvgGradientStop& a = *(next - 1);
        const SvgGradientStop& b = *next;
        const double w = b.offset > a.offset ? (offset - a.offset) / (b.offset - a.offset) : 0;
        const double f = radial ? std::pow(offset * reach, 2) : (2 * offset - 1) * reach;
        const std::uint32_t exact = FigureEngine::BlendColours(solid, outline, f);
        for (int shift : {0, 8, 16}) {
            const double mixed = Channel(a.colour, shift) * (1 - w) + Channel(b.colour, shift) * w;
            worst = std::max(
                worst,
                static_cast<int>(std::ceil(std::fabs(mixed - Channel(exact, shift)) - 1e-9)));
        }
    }
    return worst;
}

TEST(SvgGradient, StopsReproduceTheRasterMix) {
    const struct {
        std::uint32_t solid, outline;
    } pairs[] = {{0x5a25fa, 0xff0000}, {0xffffff, 0x000000}, {0x000000, 0xffffff},
                 {0xb0df4f, 0xe11e1e}, {0x808080, 0x808080}, {0xff00ff, 0x10f020}};
    for (const auto& p : pairs) {
        for (double reach : {1.0, 1.2, 1.6}) {
            const auto linear = LinearGradientStops(p.solid, p.outline, reach);
            EXPECT_LE(linear.size(), 8u);  // two ends and at most two clamps per channel
            EXPECT_LE(WorstStopError(linear, p.solid, p.outline, reach, false), 1)
                << std::hex << p.solid << " " << p.outline << " reach " << reach;
            const auto radial = RadialGradientStops(p.solid, p.outline, reach);
            EXPECT_LE(WorstStopError(radial, p.solid, p.outline, reach, true), 2)
                << std::hex << p.solid << " " << p.outline << " reach " << reach;
            EXPECT_TRUE(std::is_sorted(radial.begin(), radial.end(),
                                       [](auto& a, auto& b) { return a.offset < b.offset; }));
        }
    }
}

TEST_F(SvgExportTest, DefaultFigureHasOneLayerPerPaintedOrderInPaintingOrder) {
    const SvgDocument svg = Export();
    const SvgElement& root = svg.elements.front();
    EXPECT_EQ(root.name, "svg");
    EXPECT_EQ(root.Attribute("width"), "1200");
    EXPECT_EQ(root.Attribute("height"), "900");
    EXPECT_EQ(root.Attribute("viewBox"), "0 0 1200 900");
    EXPECT_EQ(svg.layers, (std::vector<std::string>{"Background", "Order 2", "Order 1",
                                                    "Order 0"}));  // 3 is empty
    EXPECT_LT(text.size(), 2u * 1024 * 1024);

    // The background fills the picture in colour entry 1.
    const auto rect = std::find_if(svg.elements.begin(), svg.elements.end(),
                                   [](const SvgElement& e) { return e.name == "rect"; });
    ASSERT_NE(rect, svg.elements.end());
    EXPECT_EQ(rect->layer, 0);
    EXPECT_EQ(rect->Attribute("fill"), "#ffffff");

    // Per order: one fill per recorded solid pentagon whose pixels meet the picture.
    const FigureEngine& f = doc.m_figure;
    std::vector<int> expected(kOrderCount), fills(kOrderCount), outlines(kOrderCount);
    for (int r = 0; r < f.m_nShapes; ++r) {
        const ShapeRecord& s = f.m_shapes[r];
        PentagonVertices pixel;
        for (int k = 0; k < 5; ++k) {
            const auto [px, py] =
                f.FigureToPixel(s.x + s.size * f.m_u[k].x, s.y + s.size * f.m_u[k].y);
            pixel[k] = {px, py};
        }
        const PixelBox box = BoundingBox(pixel);
        if (box.x1 >= 0 && box.x0 < f.m_nWidth && box.y1 >= 0 && box.y0 < f.m_nHeight) {
            ++expected[s.order];
        }
    }
    std::set<std::string> gradients;
    for (const SvgElement& e : svg.elements) {
        if (e.name == "linearGradient" || e.name == "radialGradient")
            gradients.insert(e.Attribute("id"));
    }
    for (const SvgElement& e : svg.elements) {
        if (e.name != "path") continue;
        ASSERT_GE(e.layer, 1);
        const int order = OrderOf(svg, e);
        EXPECT_EQ(e.Attribute("opacity"), "0.5");
        if (IsFill(e)) {
            ++fills[order];
            const std::string fill = e.Attribute("fill");
            ASSERT_EQ(fill.rfind("url(#", 0), 0u) << fill;
            EXPECT_TRUE(gradients.count(fill.substr(5, fill.size() - 6))) << fill;
        } else {
            ++outlines[order];
            EXPECT_EQ(e.Attribute("stroke"), Hex(f.GetDibColour(10 * order + SLOT_BIG_PENTAGON)));
        }
    }
    for (int n = 0; n <= 3; ++n) EXPECT_EQ(fills[n], expected[n]) << "order " << n;
    EXPECT_GT(fills[0], 1000);
    EXPECT_GT(outlines[0], 1000);
}

TEST_F(SvgExportTest, PentagonsLieOnTheSeriesLinesOfTheirOrder) {
    const SvgDocument svg = Export();
    const FigureEngine& f = doc.m_figure;
    const double tolerance = 0.01 / f.m_transform.scale;  // two decimals of a pixel
    int checked = 0;
    for (int order = 0; order <= 3; ++order) {
        const auto series = SeriesOf(f, order);
        for (const SvgElement& e : svg.elements) {
            if (!IsFill(e) || OrderOf(svg, e) != order) continue;
            const auto paths = PathPoints(e.Attribute("d"));
            ASSERT_EQ(paths.size(), 1u);
            const auto& points = paths[0];
            // Clipped pentagons have points on the picture's edge.
            const bool clipped = std::any_of(points.begin(), points.end(), [&f](SvgPoint p) {
                return p.x <= 0 || p.y <= 0 || p.x >= f.m_nWidth || p.y >= f.m_nHeight;
            });
            if (points.size() != 6 || clipped) continue;
            FigurePoint v[5], centre{};
            for (int k = 0; k < 5; ++k) {
                v[k] = ToFigure(f, points[k]);
                centre = {centre.x + v[k].x / 5, centre.y + v[k].y / 5};
            }
            // Small pentagons have circumradius 2φ^n, big ones 2φ^(n+1).
            const double radius = std::hypot(v[0].x - centre.x, v[0].y - centre.y);
            const double small = 2 * std::pow(kPhiValue, order);
            EXPECT_TRUE(std::fabs(radius - small) < 3 * tolerance ||
                        std::fabs(radius - small * kPhiValue) < 3 * tolerance)
                << radius;
            // Each edge lies on a line of one family at a series position.
            for (int k = 0; k < 5; ++k) {
                const FigurePoint a = v[k], b = v[(k + 1) % 5];
                const FigurePoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
                double best = HUGE_VAL;
                for (int family = 0; family < 5; ++family) {
                    const FigurePoint u = f.m_u[family];
                    if (std::fabs((b.x - a.x) * u.x + (b.y - a.y) * u.y) > 4 * tolerance) continue;
                    best = std::min(best, OffSeries(*series, mid.x * u.x + mid.y * u.y));
                }
                EXPECT_LT(best, 2 * tolerance) << "order " << order;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 1200);
}

TEST_F(SvgExportTest, LinesAndReferenceLinesRunOnTheSeriesAcrossThePicture) {
    SwitchOnLinesAndStars();
    const SvgDocument svg = Export();
    const FigureEngine& f = doc.m_figure;
    const double tolerance = 0.01 / f.m_transform.scale;
    int lines = 0, references = 0, stars = 0;
    for (int order : {0, 1}) {
        const auto series = SeriesOf(f, order);
        const std::string lineColour = Hex(f.GetDibColour(10 * order + SLOT_LINES));
        const std::string referenceColour = Hex(f.GetDibColour(10 * order + SLOT_REFERENCE_LINE));
        for (const SvgElement& e : svg.elements) {
            if (e.name != "path" || OrderOf(svg, e) != order) continue;
            const std::string stroke = e.Attribute("stroke");
            if (stroke == Hex(f.GetDibColour(10 * order + SLOT_BIG_STAR))) ++stars;
            if (stroke != lineColour && stroke != referenceColour) continue;
            const auto paths = PathPoints(e.Attribute("d"));
            ASSERT_EQ(paths.size(), 1u);
            ASSERT_EQ(paths[0].size(), 2u);
            const FigurePoint a = ToFigure(f, paths[0][0]), b = ToFigure(f, paths[0][1]);
            bool onFamily = false;
            for (int family = 0; family < 5 && !onFamily; ++family) {
                const FigurePoint u = f.m_u[family];
                const double pa = a.x * u.x + a.y * u.y, pb = b.x * u.x + b.y * u.y;
                if (std::fabs(pa - pb) > 2 * tolerance) continue;
                onFamily = OffSeries(*series, pa) < 2 * tolerance;
                if (stroke == referenceColour) {
                    EXPECT_NEAR(pa, series->m_values[series->m_nRefIndex], 2 * tolerance);
                }
            }
            EXPECT_TRUE(onFamily);
            for (const SvgPoint& p : paths[0]) {
                EXPECT_TRUE(p.x >= 0 && p.x <= f.m_nWidth && p.y >= 0 && p.y <= f.m_nHeight);
            }
            ++(stroke == lineColour ? lines : references);
        }
    }
    // Order 0 has 83 elements and order 1 has 51 across the picture's width alone.
    EXPECT_GT(lines, 5 * (83 + 51) / 2);
    EXPECT_EQ(references, 10);  // five families in each of two orders, all crossing the picture
    EXPECT_GT(stars, 1000);
}

TEST_F(SvgExportTest, FlatFillsAndTransparencyFollowTheOrderSettings) {
    doc.m_figure.m_bGradient = 0;
    doc.m_figure.m_orders[0].transparency = 0.25;
    doc.m_figure.m_orders[1].transparency = 0.0;
    const SvgDocument svg = Export();
    const FigureEngine& f = doc.m_figure;
    std::set<std::string> fills[kOrderCount];
    for (const SvgElement& e : svg.elements) {
        if (!IsFill(e)) continue;
        const int order = OrderOf(svg, e);
        fills[order].insert(e.Attribute("fill"));
        EXPECT_EQ(e.Attribute("opacity"), order == 0 ? "0.75" : order == 1 ? "" : "0.5");
    }
    EXPECT_EQ(text.find("Gradient", text.find("</metadata>")), std::string::npos);
    EXPECT_EQ(fills[0], (std::set<std::string>{Hex(f.GetDibColour(SLOT_BIG_SOLID)),
                                               Hex(f.GetDibColour(SLOT_SMALL_SOLID))}));
    EXPECT_EQ(fills[0], (std::set<std::string>{"#fa255a", "#ffd2d2"}));
}

TEST_F(SvgExportTest, SingleOrderAndPhysicalWidth) {
    SvgOptions options;
    options.order = 2;
    ASSERT_TRUE(ParseSvgLength("400mm", options.width));
    options.physical = true;
    const SvgDocument svg = Export(options);
    EXPECT_EQ(svg.layers, (std::vector<std::string>{"Background", "Order 2"}));
    EXPECT_EQ(svg.elements.front().Attribute("width"), "400mm");
    EXPECT_EQ(svg.elements.front().Attribute("height"), "300mm");
    EXPECT_EQ(svg.elements.front().Attribute("viewBox"), "0 0 1200 900");
}

// A physical width keeps the picture's aspect at any width. Every layer joins strokes round (no
// miter spikes at the star tips); a stroke width on paper gives the same millimetres whatever
// the width.
TEST_F(SvgExportTest, PhysicalSizeAndStrokeWidthOnPaper) {
    SwitchOnLinesAndStars();
    const struct {
        bool plotter;
        const char* width;  // empty: pixels
        int w, h;
        const char* widthAttribute;
        const char* heightAttribute;
        std::optional<double> strokeMm;
        const char* strokeWidth;  // user units; empty: none written
    } cases[] = {{false, "0.1mm", 1200, 900, "0.1mm", "0.075mm", {}, ""},
                 {false, "100000mm", 1200, 900, "100000mm", "75000mm", {}, ""},
                 {false, "400mm", 1200, 7, "400mm", "2.33333333mm", {}, ""},
                 {false, "8in", 3, 1, "8in", "2.66666667in", {}, ""},
                 {false, "0.1mm", 1000, 1, "0.1mm", "0.0001mm", {}, ""},
                 {false, "400mm", 1, 1000, "400mm", "400000mm", {}, ""},
                 {false, "", 1200, 900, "1200", "900", {}, ""},
                 {false, "400mm", 1200, 900, "400mm", "300mm", 0.01, "0.03"},
                 {true, "4000mm", 1200, 900, "4000mm", "3000mm", 0.01, "0.003"},
                 {true, "", 1200, 900, "1200", "900", kSvgHairlineMm, "0.0377952756"},
                 {true, "40CM", 1200, 900, "40cm", "30cm", 0.3, "0.9"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.width) + " " + c.strokeWidth);
        doc.m_figure.m_nWidth = c.w;
        doc.m_figure.m_nHeight = c.h;
        SvgOptions options;
        options.plotter = c.plotter;
        options.physical = ParseSvgWidth(c.width, options.width);
        EXPECT_EQ(options.physical, *c.width != '\0');
        options.strokeMm = c.strokeMm;
        const SvgDocument svg = Export(options);
        const SvgElement& root = svg.elements.front();
        EXPECT_EQ(root.Attribute("width"), c.widthAttribute);
        EXPECT_EQ(root.Attribute("height"), c.heightAttribute);
        EXPECT_NEAR(
            std::stod(root.Attribute("height")) / std::stod(root.Attribute("width")) * c.w / c.h, 1,
            1e-8);
        int layers = 0;
        for (const SvgElement& e : svg.elements) {
            if (e.name != "g" || e.Attribute("id") == "background") continue;
            ++layers;
            EXPECT_EQ(e.Attribute("stroke-linejoin"), "round");
            EXPECT_EQ(e.Attribute("stroke-width"), c.strokeWidth);
        }
        EXPECT_GE(layers, 3);
    }
}

TEST_F(SvgExportTest, AnOrderWithNothingToDrawHasNoLayer) {
    for (int item = 0; item < 8; ++item) doc.m_figure.m_orders[2].drawItems[item] = 0;
    EXPECT_EQ(Export().layers, (std::vector<std::string>{"Background", "Order 1", "Order 0"}));
    SvgOptions one;
    one.order = 2;
    EXPECT_EQ(Export(one).layers, (std::vector<std::string>{"Background"}));
}

// Zoomed out, pentagons too small for elements of their own are gathered in cells: the file
// stays within a few times the default figure's, and the cells keep the colour of the picture.
// The cells are measured against the picture: a small picture keeps its pentagons as vectors,
// and the drawing is the same at every size.
TEST_F(SvgExportTest, ZoomedOutFiguresGatherPentagonsInCells) {
    const std::size_t defaultSize = MakeSvg(doc.m_figure, {}, ui).size();
    const auto count = [](const SvgDocument& svg, auto counted) {
        return std::count_if(svg.elements.begin(), svg.elements.end(), counted);
    };
    for (double exponent : {-10.0, -12.0, -1000.0}) {
        doc.m_figure.m_dMagnExp = exponent;
        for (bool plotter : {false, true}) {
            SvgOptions options;
            options.plotter = plotter;
            const SvgDocument svg = Export(options);
            EXPECT_LT(text.size(), 8 * defaultSize) << exponent;
            EXPECT_LT(count(svg, [](const SvgElement& e) { return e.name == "path"; }), 50000);
        }
    }
    // Far out every pentagon lies in the cell of the painted dot.
    ASSERT_TRUE(doc.RenderFigure(-1, false));
    COLORREF dot = 0;
    ASSERT_TRUE(doc.PixelColourAt(600, 450, dot));
    EXPECT_NE(dot, 0xffffffu);
    EXPECT_EQ(Export().elements.back().Attribute("d"), "M600 448h4v4h-4z");

    doc.m_figure.m_dMagnExp = -9;
    std::vector<long> vectors;  // pentagons filled with their gradient
    for (int width : {300, 1200, 4800}) {
        doc.m_figure.m_nWidth = width;
        doc.m_figure.m_nHeight = width * 3 / 4;
        vectors.push_back(count(Export(), [](const SvgElement& e) {
            return e.Attribute("fill").rfind("url(", 0) == 0;
        }));
    }
    EXPECT_GT(vectors[1], 500) << vectors[0] << " " << vectors[2];
    EXPECT_NEAR(vectors[0], vectors[1], vectors[1] / 100);
    EXPECT_NEAR(vectors[2], vectors[1], vectors[1] / 100);
}

// All segments of the plotter paths, per pen colour.
struct PenSegment {
    SvgPoint a, b;
    std::string colour;
};

std::vector<PenSegment> PenSegments(const SvgDocument& svg, std::string& commands) {
    std::vector<PenSegment> segments;
    std::string colour;
    for (const SvgElement& e : svg.elements) {
        if (e.name == "g") colour = e.Attribute("stroke");
        if (e.name != "path") continue;
        for (const auto& path : PathPoints(e.Attribute("d"), &commands)) {
            for (std::size_t n = 1; n < path.size(); ++n) {
                segments.push_back({path[n - 1], path[n], colour});
            }
        }
    }
    return segments;
}

// Overlap length of two segments that lie on one line (0 when they do not).
double CollinearOverlap(const PenSegment& p, const PenSegment& q) {
    const double dx = p.b.x - p.a.x, dy = p.b.y - p.a.y, length = std::hypot(dx, dy);
    if (length < 1e-9) return 0;
    const double ux = dx / length, uy = dy / length;
    auto across = [&](SvgPoint s) { return (s.x - p.a.x) * -uy + (s.y - p.a.y) * ux; };
    auto along = [&](SvgPoint s) { return (s.x - p.a.x) * ux + (s.y - p.a.y) * uy; };
    if (std::fabs(across(q.a)) > 0.02 || std::fabs(across(q.b)) > 0.02) return 0;
    const double q0 = std::min(along(q.a), along(q.b)), q1 = std::max(along(q.a), along(q.b));
    return std::min(length, q1) - std::max(0.0, q0);
}

TEST_F(SvgExportTest, PlotterDrawsEveryStretchOnceWithShortTravel) {
    SvgOptions options;
    options.plotter = true;
    PlotterStats stats;
    const SvgDocument svg = Export(options, &stats);
    const std::string drawing = text.substr(text.find("</metadata>"));
    for (const char* forbidden : {"opacity", "Gradient", "transform", "<rect", "url("}) {
        EXPECT_EQ(drawing.find(forbidden), std::string::npos) << forbidden;
    }
    // One layer per colour: the big pentagon outlines of orders 0, 1 and 2 (order 3 has none).
    const FigureEngine& f = doc.m_figure;
    EXPECT_EQ(svg.layers.size(), 3u);
    std::set<std::string> colours;
    for (const SvgElement& e : svg.elements) {
        if (e.name == "g") colours.insert(e.Attribute("stroke"));
        if (e.name == "path") {
            EXPECT_TRUE(e.Attribute("fill").empty());
        }
    }
    EXPECT_EQ(colours, (std::set<std::string>{Hex(f.GetDibColour(SLOT_BIG_PENTAGON)),
                                              Hex(f.GetDibColour(10 + SLOT_BIG_PENTAGON)),
                                              Hex(f.GetDibColour(20 + SLOT_BIG_PENTAGON))}));
    // Labelled by the pen number first: "1 #1414eb".
    for (std::size_t n = 0; n < svg.layers.size(); ++n) {
        EXPECT_EQ(svg.layers[n].rfind(std::to_string(n + 1) + " #", 0), 0u) << svg.layers[n];
    }

    std::string commands;
    const auto segments = PenSegments(svg, commands);
    EXPECT_EQ(commands.find_first_not_of("ML"), std::string::npos);
    int paths = 0;
    for (const SvgElement& e : svg.elements) paths += e.name == "path";
    EXPECT_EQ(stats.strokes, paths);
    double penDown = 0;
    for (const auto& s : segments) penDown += std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
    EXPECT_NEAR(stats.penDown, penDown, 0.001 * penDown);
    EXPECT_LE(stats.penUp, 0.7 * stats.penUpPaintingOrder);

    // No stretch is drawn twice, by the same pen or by another.
    for (std::size_t n = 0; n < segments.size(); ++n) {
        for (std::size_t m = n + 1; m < segments.size(); ++m) {
            ASSERT_LT(CollinearOverlap(segments[n], segments[m]), 0.02)
                << segments[n].a.x << "," << segments[n].a.y << " " << segments[m].a.x << ","
                << segments[m].a.y;
        }
    }

    // Every outline edge of the picture is covered by the plotter's strokes.
    const SvgDocument picture = Export();
    int sampled = 0;
    for (const SvgElement& e : picture.elements) {
        if (e.name != "path" || IsFill(e)) continue;
        for (const auto& path : PathPoints(e.Attribute("d"))) {
            for (std::size_t n = 1; n < path.size(); n += 3) {
                const SvgPoint mid{(path[n - 1].x + path[n].x) / 2,
                                   (path[n - 1].y + path[n].y) / 2};
                bool covered = false;
                for (const auto& s : segments) {
                    const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
                    const double t = std::clamp(
                        ((mid.x - s.a.x) * dx + (mid.y - s.a.y) * dy) / (dx * dx + dy * dy), 0.0,
                        1.0);
                    if (std::hypot(s.a.x + t * dx - mid.x, s.a.y + t * dy - mid.y) < 0.02) {
                        covered = true;
                        break;
                    }
                }
                EXPECT_TRUE(covered) << mid.x << "," << mid.y;
                ++sampled;
            }
        }
    }
    EXPECT_GT(sampled, 1000);
}

// Deep zoom, every order and item on, more solid pentagons than the shape list holds, and a
// centre far out: the file stays well-formed with finite numbers inside the picture.
TEST_F(SvgExportTest, HostileFiguresStillWriteValidFiles) {
    struct Case {
        const char* name;
        double magnExp;
        double centre;
    };
    for (const Case& c : {Case{"deep zoom", 40.0, 0.0}, Case{"zoomed out", -9.0, 0.0},
                          Case{"far centre", -7.0, 1e300}, Case{"huge scale", 1000.0, 0.0},
                          Case{"edge of the double range", 1016.0, 0.0}}) {
        SCOPED_TRACE(c.name);
        FigureEngine& f = doc.m_figure;
        f.ResetFigure();
        f.m_dMagnExp = c.magnExp;
        f.m_dCentreX = c.centre;
        for (auto& o : f.m_orders) {
            o.drawOrder = 1;
            for (int item = 0; item < 8; ++item) o.drawItems[item] = 1;
        }
        for (bool plotter : {false, true}) {
            SvgOptions options;
            options.plotter = plotter;
            const SvgDocument svg = Export(options);
            ASSERT_TRUE(svg.wellFormed);
            for (const SvgElement& e : svg.elements) {
                if (e.name != "path") continue;
                for (const auto& path : PathPoints(e.Attribute("d"))) {
                    for (const SvgPoint& p : path) {
                        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
                        ASSERT_TRUE(p.x >= 0 && p.x <= f.m_nWidth && p.y >= 0 && p.y <= f.m_nHeight)
                            << p.x << "," << p.y;
                    }
                }
            }
            EXPECT_LT(text.size(), 20u * 1024 * 1024);
        }
    }
    // The zoomed-out figure paints more solid pentagons than the list records.
    doc.m_figure.ResetFigure();
    doc.m_figure.m_dMagnExp = -9.0;
    for (auto& o : doc.m_figure.m_orders) o.drawOrder = 1;
    ASSERT_TRUE(doc.RenderFigure(-1, false));
    EXPECT_EQ(doc.m_figure.m_nShapes, kMaxShapes);
}

// The parameter text comes back byte for byte, whatever bytes its comment holds; it is read
// only from our namespace, which another program saving the file again may bind at the root
// under its own prefix.
TEST_F(SvgExportTest, MetadataCarriesTheParameterTextInOurNamespace) {
    for (const char* comment : {"", "caf\xe9 & <tags> ]]> \"quoted\" \x81\x9f\x7f", "tab\there",
                                "control \x01\x1f bytes"}) {
        std::snprintf(doc.m_figure.m_szComment, sizeof doc.m_figure.m_szComment, "%s", comment);
        for (int order : {-1, 3}) {
            SvgOptions options;
            options.order = order;
            Export(options);
            SvgFigure carried;
            ASSERT_TRUE(ParseSvgFigure(text, carried)) << comment;
            EXPECT_EQ(carried.parameterText, DatFileText(doc.m_figure)) << comment;
            EXPECT_EQ(carried.width, 1200);
            EXPECT_EQ(carried.height, 900);
            EXPECT_EQ(carried.order, order);
        }
    }
    TempDir dir;
    // Our one element under the prefix ns1, bound at the root instead.
    std::string moved = std::regex_replace(text, std::regex("(</?)dorvanta:"), "$1ns1:");
    const std::string binding = " xmlns:dorvanta=\"urn:x-dorvanta:figure\"";
    moved.erase(moved.find(binding), binding.size());
    moved.insert(moved.find("<svg ") + 5, "xmlns:ns1=\"urn:x-dorvanta:figure\" ");
    std::string foreign = text;
    foreign.replace(foreign.find("urn:x-dorvanta:figure"), 21, "urn:x-other:figure");
    const struct {
        const char* name;
        const std::string& content;
        bool found;
    } cases[] = {{"written.svg", text, true},
                 {"moved.svg", moved, true},
                 {"foreign.svg", foreign, false},
                 {"cut.svg", text.substr(0, 900), false}};
    for (const auto& c : cases) {
        std::ofstream(dir.File(c.name), std::ios::binary) << c.content;
        SvgFigure carried;
        std::string reason;
        ASSERT_EQ(ReadSvgFigure(dir.File(c.name), carried, reason), c.found) << c.name << reason;
        EXPECT_EQ(c.found ? carried.parameterText : reason,
                  c.found ? DatFileText(doc.m_figure)
                          : dir.File(c.name) + " is an SVG without a Dorvanta figure");
    }
}

TEST_F(SvgExportTest, SavedFileIsWellFormedXmlAndFailuresAreReported) {
    TempDir dir;
    const std::string path = dir.File("figure.svg");
    ASSERT_TRUE(SaveSvgFile(doc.m_figure, {}, path, ui));
    std::ifstream in(path, std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(saved, MakeSvg(doc.m_figure, {}, ui));
    if (ProgramAvailable("xmllint")) {
        EXPECT_EQ(RunCommand("xmllint --noout '" + path + "'"), 0);
    }
    EXPECT_TRUE(ui.messages.empty());
    const std::string bad = dir.File("missing/folder/figure.svg");
    EXPECT_FALSE(SaveSvgFile(doc.m_figure, {}, bad, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("Could not write the SVG file " + bad + ": ", 0), 0u);
}

}  // namespace
