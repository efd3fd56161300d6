#include "cli/render_options.h"

#include <charconv>
#include <string>
#include <string_view>

#include "cli/thumbnail.h"
#include "document/animation.h"
#include "document/svg_export.h"
#include "picture/png_file.h"

const char* const kRenderUsage =
    "Usage: dorvanta-render [FIGURE.dat | PICTURE.bmp | PICTURE.jpg | PICTURE.png | FIGURE.svg]\n"
    "                       [options]\n"
    "Paints a Dorvanta figure (the default figure when no file is given) and writes it. A PNG\n"
    "or SVG written by Dorvanta gives back the figure it carries.\n"
    "  -o PATH          write the picture; BMP, JPEG or PNG by the text after the last dot\n"
    "                   (.bmp, .jpg, .png); a PNG carries the figure's parameters\n"
    "  --size WxH       paint the figure at this picture size\n"
    "  --order N        paint order N (0 to 9) alone\n"
    "  --quality Q      JPEG quality 0 to 100 (default 90)\n"
    "  --dpi N          PNG print resolution, 1 to 100000 dots per inch (the size on paper)\n"
    "  --stats          print the pentagons found in each painted order\n"
    "  --save-dat PATH  write the parameters of the painted figure\n"
    "  --pov PATH       write the POV-Ray scene of the solid pentagons\n"
    "  --pov-header     start the scene with its header (a complete scene file)\n"
    "  -o NAME.svg      write the figure as SVG vectors instead of a picture, without painting\n"
    "  --svg-width LEN  physical width of the SVG (400mm, 21cm, 8in, 300pt; 0.1mm to 100m);\n"
    "                   default pixels\n"
    "  --stroke LEN     stroke width on paper, whatever the width (0.01mm, or hairline for\n"
    "                   laser cutters; 0.001mm to 10mm); default one pixel\n"
    "  --plotter        SVG for pen plotters and cutters: strokes only, one layer per\n"
    "                   colour, each stretch drawn once; --stats reports the pen's travel\n"
    "  --thumbnail SIZE write a .dat file's figure as a PNG with the longer side SIZE pixels\n"
    "                   (1 to 4096), the same view, for file managers\n"
    "  --version        print the version\n"
    "  --threads N      paint with N threads (1 to 64; default one per core)\n"
    "  --quiet          no progress on the terminal\n"
    "  --animate K1 K2 [K3 ...]\n"
    "                   an animation through the keyframes (.dat, or a PNG or SVG written by\n"
    "                   Dorvanta) written to -o NAME.mp4, NAME.webm, NAME.png (animated PNG)\n"
    "                   or a pattern such as frames/f%05d.png (one PNG per frame)\n"
    "  --duration T     the whole animation's time (6s, 2.5s, 500ms), split evenly\n"
    "  --durations T,T  the time from each keyframe to the next\n"
    "  --fps N          frames a second, 1 to 240 (default 30)\n"
    "  --ease E         linear (default) or ease-in-out\n"
    "  --crf N          video quality, 0 (best) to 63; default the kind's own\n"
    "  --frame-dat N    write the figure of frame N (from 0) to -o NAME.dat instead\n"
    "  -h, --help       show this text\n"
    "With --size and -o the picture is painted band after band straight into the file, so any\n"
    "size the file kind holds needs little memory (BMP: under 4 GiB, JPEG: 65500 pixels a\n"
    "side, PNG: 2147483647 pixels a side).\n";

namespace {

// The whole text as a decimal integer within [low, high].
bool ParseInt(std::string_view text, int low, int high, int& value) {
    int parsed = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseSize(std::string_view text, RenderOptions& options) {
    std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return false;
    int width = 0;
    int height = 0;
    constexpr int kMaxSide = 1 << 30;
    if (!ParseInt(text.substr(0, x), 1, kMaxSide, width) ||
        !ParseInt(text.substr(x + 1), 1, kMaxSide, height)) {
        return false;
    }
    options.width = width;
    options.height = height;
    return true;
}

// Times above zero separated by commas.
bool ParseDurationList(std::string_view text, std::vector<double>& seconds) {
    seconds.clear();
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::optional<double> value = ParseSeconds(text.substr(start, end - start));
        if (!value || *value <= 0) return false;
        seconds.push_back(*value);
        start = end + 1;
    }
    return true;
}

}  // namespace

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options,
                        std::string& error) {
    for (int i = 0; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view text;
        // The value as a whole number within [low, high]; what names it in the message.
        auto number = [&](int low, int high, const char* what, int& out) {
            if (!value(text)) return false;
            if (ParseInt(text, low, high, out)) return true;
            error = std::string(arg) + " wants " + what + " from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not " + std::string(text);
            return false;
        };
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-o") {
            if (!value(text)) return false;
            options.output = text;
        } else if (arg == "--size") {
            if (!value(text)) return false;
            if (!ParseSize(text, options)) {
                error = "--size wants WIDTHxHEIGHT with positive whole numbers, not " +
                        std::string(text);
                return false;
            }
        } else if (arg == "--order") {
            int order = 0;
            if (!value(text)) return false;
            if (!ParseInt(text, 0, 9, order)) {
                error = "--order wants an order from 0 to 9, not " + std::string(text);
                return false;
            }
            options.order = order;
        } else if (arg == "--quality") {
            if (!value(text)) return false;
            if (!ParseInt(text, 0, 100, options.quality)) {
                error = "--quality wants a number from 0 to 100, not " + std::string(text);
                return false;
            }
        } else if (arg == "--dpi") {
            if (!value(text)) return false;
            if (!ParseInt(text, 1, kPngMaxDotsPerInch, options.dpi)) {
                error = "--dpi wants a number from 1 to " + std::to_string(kPngMaxDotsPerInch) +
                        ", not " + std::string(text);
                return false;
            }
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--save-dat") {
            if (!value(text)) return false;
            options.saveDat = text;
        } else if (arg == "--pov") {
            if (!value(text)) return false;
            options.pov = text;
        } else if (arg == "--pov-header") {
            options.povHeader = true;
        } else if (arg == "--svg-width") {
            SvgLength length;
            if (!value(text)) return false;
            if (!ParseSvgWidth(text, length)) {
                error =
                    "--svg-width wants a positive length with a unit (mm, cm, in, pt, pc, "
                    "px) from 0.1mm to 100m, not " +
                    std::string(text);
                return false;
            }
            options.svgWidth = text;
        } else if (arg == "--stroke") {
            double millimetres = 0;
            if (!value(text)) return false;
            if (!ParseSvgStroke(text, millimetres)) {
                error =
                    "--stroke wants hairline or a length with a unit (mm, cm, in, pt, pc, px) "
                    "from 0.001mm to 10mm, not " +
                    std::string(text);
                return false;
            }
            options.stroke = text;
        } else if (arg == "--plotter") {
            options.plotter = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--thumbnail") {
            int side = 0;
            if (!value(text)) return false;
            if (!ParseInt(text, 1, kThumbnailMaxSide, side)) {
                error = "--thumbnail wants a size from 1 to " + std::to_string(kThumbnailMaxSide) +
                        ", not " + std::string(text);
                return false;
            }
            options.thumbnail = side;
        } else if (arg == "--threads") {
            int threads = 0;
            if (!value(text)) return false;
            if (!ParseInt(text, 1, 64, threads)) {
                error = "--threads wants a number from 1 to 64, not " + std::string(text);
                return false;
            }
            options.threads = threads;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--animate") {
            options.animate = true;
            while (i + 1 < argc && argv[i + 1][0] != '-') options.keyframes.push_back(argv[++i]);
        } else if (arg == "--duration") {
            if (!value(text)) return false;
            options.duration = ParseSeconds(text);
            if (!options.duration || *options.duration <= 0) {
                error = "--duration wants a time above zero such as 6s or 500ms, not " +
                        std::string(text);
                return false;
            }
        } else if (arg == "--durations") {
            if (!value(text)) return false;
            if (!ParseDurationList(text, options.durations)) {
                error =
                    "--durations wants times above zero separated by commas such as 2s,4s, "
                    "not " +
                    std::string(text);
                return false;
            }
        } else if (arg == "--fps") {
            if (!number(1, kMaxAnimationFps, "a frame rate", options.fps)) return false;
        } else if (arg == "--ease") {
            if (!value(text)) return false;
            if (text != "linear" && text != "ease-in-out") {
                error = "--ease wants linear or ease-in-out, not " + std::string(text);
                return false;
            }
            options.ease = text;
        } else if (arg == "--crf") {
            int crf = 0;
            if (!number(0, 63, "a number", crf)) return false;
            options.crf = crf;
        } else if (arg == "--frame-dat") {
            int frame = 0;
            if (!number(0, static_cast<int>(kMaxAnimationFrames), "a frame number", frame)) {
                return false;
            }
            options.frameDat = frame;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            error = "only one input file can be painted, got " + options.input + " and " +
                    std::string(arg);
            return false;
        }
    }
    return true;
}
