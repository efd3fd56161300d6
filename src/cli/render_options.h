// The command line of dorvanta-render.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct RenderOptions {
    // .dat, .bmp, .jpg, .png or .svg; empty: a new document with the default figure
    std::string input;
    std::string output;
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> order;
    int quality = 90;
    int dpi = 0;  // the PNG's print resolution; 0: none
    bool stats = false;
    std::string saveDat;
    std::string pov;
    bool povHeader = false;
    bool help = false;
    // SVG export (-o NAME.svg).
    std::string svgWidth;  // physical width such as 400mm; empty: pixels
    std::string stroke;    // stroke width on paper such as 0.01mm or hairline; empty: one pixel
    bool plotter = false;
    // Packaging: the version, and thumbnails for file managers.
    bool version = false;
    std::optional<int> thumbnail;  // the longer side of the picture
    // Painting threads (default: one per core) and progress on a terminal.
    std::optional<int> threads;
    bool quiet = false;
    // Animation (--animate KEYFRAME KEYFRAME ...).
    bool animate = false;
    std::vector<std::string> keyframes;
    std::optional<double> duration;  // seconds, split evenly between the keyframes
    std::vector<double> durations;   // seconds from each keyframe to the next
    int fps = 30;
    std::string ease;                   // linear or ease-in-out; empty: linear
    std::optional<int> crf;             // video quality
    std::optional<long long> frameDat;  // write this frame's figure to -o NAME.dat instead
};

extern const char* const kRenderUsage;

// Reads the arguments after the program name; false with a one-line reason in error.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options,
                        std::string& error);
