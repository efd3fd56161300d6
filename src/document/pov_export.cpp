#include "document/pov_export.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "picture/user_prompts.h"

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kSizeWords[2] = {"Big", "Small"};
constexpr const char* kSideWords[2] = {"Left", "Right"};
constexpr double kCos36 = 0.8090169943749475;  // inner to outer radius of a regular pentagon
// A record line must leave this much room for the truncation line.
constexpr long long kReserve = 100;

constexpr const char* kHeaderLines[] = {
    "#version 3.1;",
    "#include \"colors.inc\"",
    "#include \"skies.inc\"",
    "#include \"stones1.inc\"",
    "#include \"stones2.inc\"",
    "#include \"woods.inc\"",
    "#include \"woodmaps.inc\"",
    "//#include \"glass.inc\"",
    "global_settings { assumed_gamma 2.2 }",
    "global_settings { ambient_light rgb<0.4,0.4,0.4> }",
    "sky_sphere {  S_Cloud2 scale 0.3 }",
    "",
    "#declare ScaleSize = 2;",
    "plane { <0, 1, 0>  0 texture { checker texture{ T_Grnt16 finish { ambient rgb <0.2,0.2,0.2> "
    "}} ,texture { T_Grnt18 finish { ambient rgb <0.2,0.2,0.2> } } scale 2*ScaleSize }   }",
    "#declare PentaAngle= radians( 72);",
    "#declare PentagonPoints = array[5][2]",
    "{",
    "  {1,0},",
    "  {cos(   PentaAngle), sin(   PentaAngle)},",
    "  {cos( 2*PentaAngle), sin( 2*PentaAngle)},",
    "  {cos( 3*PentaAngle), sin( 3*PentaAngle)},",
    "  {cos( 4*PentaAngle), sin( 4*PentaAngle)}",
    "}",
    "",
    "#declare PentagonRim = 0.8; //Used in the Pentagon macro.",
    "#declare odd  = function(x) {select(mod(x, 2), 1, 0, 1)} //Needed in BitTest",
    "#declare BitTest = function( x, y) {odd( div(x,y)) } //Needed in the Pentagon macro.",
    "",
    "// Camera",
    "#declare CamRad = 200;   // Distance camera to point looking at",
    "",
    "#declare phi = radians( -90.1);",
    "#declare theta = radians( 30); // angle with vertical",
    "camera {",
    "   location CamRad*< cos( phi)*sin(theta), cos(theta), sin( phi)*sin( theta) >",
    "   // direction <0, -1, -1>",
    "   look_at < 0, 4, 0>",
    "   angle 30",
    "}",
    "light_source {  < 0,  1000, -1200>   color White  /*shadowless*/    }",
    "light_source {  < 1000,  1000, +1200>   color White  /*shadowless*/    }",
    "",
    "",
    "//Pentagon macro",
    "#macro Pentagon( PentaOrder, PentagonBigOrSmall, PentaBitSetOverlap, PentaSize, PentaHeight, "
    "PentaPos, PentaTextureRim, PentaTextureCore)",
    "  // PentaOrder and PentagonBigOrSmall (0=Big, 1 =Small) are not used yet",
    "  #declare PentaExtraHeight =0;",
    "  #declare PentaOrderCount=0;",
    "  #declare PowerOfTwo=1;",
    "  #while (PentaOrderCount < 10) //This while statement lifts a lower order pentagon upto a "
    "higher order pentagon.",
    "    #declare PentaExtraHeight = PentaExtraHeight +(PentagonVertPos[ "
    "PentaOrderCount]+PentagonHeight[ PentaOrderCount])*BitTest( PentaBitSetOverlap, PowerOfTwo);",
    "    #declare PentaOrderCount=PentaOrderCount+1;",
    "    #declare PowerOfTwo = PowerOfTwo*2;",
    "  #end",
    "  #declare PentaPosLocal = PentaPos + <0,PentaExtraHeight,0>;",
    "  // Define Rim",
    "  prism {",
    "    linear_spline 0, PentaHeight, 12,",
    "    PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>,",
    "    PentaSize*<PentagonPoints[ 1][0],PentagonPoints[ 1][1]>,",
    "    PentaSize*<PentagonPoints[ 2][0],PentagonPoints[ 2][1]>,",
    "    PentaSize*<PentagonPoints[ 3][0],PentagonPoints[ 3][1]>,",
    "    PentaSize*<PentagonPoints[ 4][0],PentagonPoints[ 4][1]>,",
    "    PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>  //outer rim",
    "    PentagonRim*PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 1][0],PentagonPoints[ 1][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 2][0],PentagonPoints[ 2][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 3][0],PentagonPoints[ 3][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 4][0],PentagonPoints[ 4][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>  //inner rim",
    "    texture { PentaTextureRim scale 5* PentaSize finish { ambient rgb <0.4,0.4,0.4> } }  ",
    "    translate PentaPosLocal",
    "  }",
    "  // Define Core",
    "  prism {",
    "    linear_spline 0, PentaHeight, 6,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 1][0],PentagonPoints[ 1][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 2][0],PentagonPoints[ 2][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 3][0],PentagonPoints[ 3][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 4][0],PentagonPoints[ 4][1]>,",
    "    PentagonRim*PentaSize*<PentagonPoints[ 0][0],PentagonPoints[ 0][1]>  //core",
    "    texture { PentaTextureCore scale 5* PentaSize  }",
    "    translate PentaPosLocal",
    "  }",
    "#end //#macro Pentagon",
};

void AppendInt(std::string& text, long long value) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

// printf's "%f" in the "C" locale, whatever the process locale is.
void AppendReal(std::string& text, double value) {
    char digits[400];
    auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
    text.append(digits, result.ptr);
}

// The header's lines that place the camera and the lights, rewritten for a view whose centre is
// not the figure's origin: both follow the view, so the scene shows what the picture showed.
const char* const kMovedViewLines[][2] = {
    {"   location CamRad*< cos( phi)*sin(theta), cos(theta), sin( phi)*sin( theta) >",
     "   location ViewCentre + CamRad*< cos( phi)*sin(theta), cos(theta), sin( phi)*sin( theta) >"},
    {"   look_at < 0, 4, 0>", "   look_at ViewCentre + < 0, 4, 0>"},
    {"light_source {  < 0,  1000, -1200>   color White  /*shadowless*/    }",
     "light_source {  ViewCentre + < 0,  1000, -1200>   color White  /*shadowless*/    }"},
    {"light_source {  < 1000,  1000, +1200>   color White  /*shadowless*/    }",
     "light_source {  ViewCentre + < 1000,  1000, +1200>   color White  /*shadowless*/    }"},
};
constexpr const char* kCameraDistanceLine =
    "#declare CamRad = 200;   // Distance camera to point looking at";

std::string MovedViewLine(const char* line) {
    for (const auto& [original, moved] : kMovedViewLines)
        if (std::strcmp(line, original) == 0) return moved;
    return line;
}

// "#declare ViewCentre = <x, 0, y>;": the figure's y is the scene's third coordinate, as in the
// record lines.
std::string ViewCentreLine(FigurePoint centre) {
    std::string line = "#declare ViewCentre = <";
    AppendReal(line, centre.x);
    line += ", 0, ";
    AppendReal(line, centre.y);
    return line + ">;   // centre of the exported view";
}

std::string TextureSuffix(int order, int sizeIndex, int sideIndex) {
    std::string suffix = std::string(kSizeWords[sizeIndex]) + kSideWords[sideIndex];
    AppendInt(suffix, order);
    return suffix;
}

void AppendTextureDeclarations(std::string& text, const std::array<int, kOrderCount>& counts) {
    text += kCrLf;
    text += "// Pentagon Textures declared";
    text += kCrLf;
    for (int order = 0; order < kOrderCount; ++order) {
        if (counts[order] <= 0) continue;
        for (int size = 0; size < 2; ++size) {
            for (int side = 0; side < 2; ++side) {
                std::string suffix = TextureSuffix(order, size, side);
                text += "#declare PentaTextureRim" + suffix + " = T_Grnt";
                AppendInt(text, 2 * order + size);
                text += std::string(";") + kCrLf;
                text += "#declare PentaTextureCore" + suffix + " = T_Stone";
                AppendInt(text, 2 * order + size + 25);
                text += std::string(";") + kCrLf;
            }
        }
    }
}

// "#declare <name>= array [ 10] " CR LF "{" and ten entries, the last closed by "}".
void AppendArray(std::string& text, const char* name, const char* entryStart,
                 const char* separatorStart, double (*value)(int)) {
    text += std::string("#declare ") + name + "= array [ 10] " + kCrLf + "{";
    for (int order = 0; order < kOrderCount; ++order) {
        text += entryStart;
        AppendReal(text, value(order));
        text += separatorStart;
        text += order < kOrderCount - 1 ? ',' : '}';
        text += kCrLf;
    }
}

void AppendArrays(std::string& text) {
    text += std::string(kCrLf) + "// Pentagon Vertical Positions" + kCrLf;
    AppendArray(text, "PentagonVertPos", "  ", "", [](int) { return 0.0; });
    text += std::string(kCrLf) + "// Pentagon Height Array " + kCrLf;
    AppendArray(text, "PentagonHeight", " ", " ", [](int order) { return 5.0 / (order + 2); });
}

void AppendStatistics(std::string& text, const std::array<int, kOrderCount>& counts) {
    text += std::string(kCrLf) + "// Statistics Orders" + kCrLf;
    for (int order = 0; order < kOrderCount; ++order) {
        if (counts[order] <= 0) continue;
        text += "// Order ";
        AppendInt(text, order);
        text += " numbers ";
        AppendInt(text, counts[order]);
        text += kCrLf;
    }
}

int ShapeCount(const FigureEngine& figure) {
    return std::min(std::max(figure.m_nShapes, 0), kMaxShapes);
}

// True when the centre of r lies inside pentagon s (on its edge included).
bool CentreLiesInside(const ShapeRecord& r, const ShapeRecord& s) {
    double dx = r.x - s.x, dy = r.y - s.y;
    double h = kCos36 * s.size;
    for (int k = 0; k < kFamilyCount; ++k) {
        FigurePoint u = FigureEngine::FamilyDirection(k);
        if (!(dx * u.x + dy * u.y >= -h)) return false;
    }
    return true;
}

// Record lines in record order, stopping with the truncation line when one would not fit.
void AppendRecordLines(std::string& text, const FigureEngine& figure, std::size_t capacity) {
    long long limit = static_cast<long long>(capacity) - kReserve;
    for (int n = 0; n < ShapeCount(figure); ++n) {
        std::string line = PovRecordLine(figure.m_shapes[n]);
        if (static_cast<long long>(text.size() + line.size()) > limit) {
            text += PovTruncationLine(capacity);
            return;
        }
        text += line;
    }
}

}  // namespace

bool MakePovData(FigureEngine& figure, std::string& text, std::size_t capacity, UserPrompts& ui) {
    return MakePovData(figure, {figure.m_dCentreX, figure.m_dCentreY}, text, capacity, ui);
}

bool MakePovData(FigureEngine& figure, FigurePoint viewCentre, std::string& text,
                 std::size_t capacity, UserPrompts& ui) {
    text.clear();
    int answer = ui.ShowMessage(kPovHeaderQuestion, MsgButtons::YesNoCancel, MsgIcon::Information);
    if (answer != IDYES && answer != IDNO) return false;
    if (answer == IDYES) text += PovHeader(viewCentre);
    MarkOverlaps(figure);
    text += PovSections(CountShapesByOrder(figure));
    AppendRecordLines(text, figure, capacity);
    // Only a capacity too small for even the fixed sections gets here; the caller's buffer
    // must never receive more than it holds.
    if (text.size() > capacity) text.resize(capacity);
    return true;
}

std::string PovHeader() {
    return PovHeader({0.0, 0.0});
}

std::string PovHeader(FigurePoint viewCentre) {
    // A view around the origin (or one without a usable centre) keeps the classic header.
    bool moved = std::isfinite(viewCentre.x) && std::isfinite(viewCentre.y) &&
                 (viewCentre.x != 0.0 || viewCentre.y != 0.0);
    std::string text;
    for (const char* line : kHeaderLines) {
        text += (moved ? MovedViewLine(line) : std::string(line)) + kCrLf;
        if (moved && std::strcmp(line, kCameraDistanceLine) == 0)
            text += ViewCentreLine(viewCentre) + kCrLf;
    }
    for (int n = 0; n < 4; ++n) text += kCrLf;
    return text;
}

void MarkOverlaps(FigureEngine& figure) {
    int count = ShapeCount(figure);
    for (int i = 0; i < count; ++i) {
        ShapeRecord& r = figure.m_shapes[i];
        for (int j = 0; j < count; ++j) {
            const ShapeRecord& s = figure.m_shapes[j];
            if (r.order >= s.order || s.order >= 16) continue;
            if (CentreLiesInside(r, s)) r.overlapMask |= static_cast<std::uint16_t>(1u << s.order);
        }
    }
}

std::array<int, kOrderCount> CountShapesByOrder(const FigureEngine& figure) {
    std::array<int, kOrderCount> counts{};
    for (int n = 0; n < ShapeCount(figure); ++n)
        if (figure.m_shapes[n].order < kOrderCount) ++counts[figure.m_shapes[n].order];
    return counts;
}

std::string PovSections(const std::array<int, kOrderCount>& counts) {
    std::string text;
    AppendTextureDeclarations(text, counts);
    AppendArrays(text);
    AppendStatistics(text, counts);
    text += std::string(kCrLf) + "// The following will use the Pentagon macro defined earlier." +
            kCrLf;
    return text;
}

std::string PovRecordLine(const ShapeRecord& record) {
    int order = record.order;
    std::string suffix = TextureSuffix(order, record.kind == 'S' ? 1 : 0, record.size > 0 ? 1 : 0);
    std::string line = "Pentagon( ";
    AppendInt(line, order);
    line += ", ";
    AppendInt(line, record.kind == 'S' ? 1 : 0);
    line += ", ";
    AppendInt(line, record.overlapMask);
    line += ", ";
    AppendReal(line, record.size);
    line += ", PentagonHeight[";
    AppendInt(line, order);
    line += "], <";
    AppendReal(line, record.x);
    line += ",PentagonVertPos[";
    AppendInt(line, order);
    line += "],";
    AppendReal(line, record.y);
    line += ">, PentaTextureRim" + suffix + ", PentaTextureCore" + suffix + ") " + kCrLf;
    return line;
}

std::string PovTruncationLine(std::size_t capacity) {
    // A comment, so that the cut scene still parses.
    std::string line = std::string(kCrLf) + "// File truncated due to current buffer size: ";
    AppendInt(line, static_cast<long long>(capacity));
    return line + " char." + kCrLf;
}
