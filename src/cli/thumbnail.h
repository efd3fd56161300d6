// Thumbnails for file managers: the figure of a parameter file painted small, showing the same
// part of the figure as the full picture.
#pragma once

#include <optional>
#include <string>

class CDibDoc;

struct ThumbnailSize {
    int width = 0;
    int height = 0;
};

// The largest thumbnail side accepted; file managers ask for 1024 at most.
constexpr int kThumbnailMaxSide = 4096;

// The picture size whose longer side is longSide and whose aspect is that of width x height
// (the shorter side rounded, at least 1); nothing for a size without area.
std::optional<ThumbnailSize> FitThumbnail(int width, int height, int longSide);

// Reads the parameter file at input (the default figure when input is empty) into doc and paints
// it at the thumbnail size. A file that cannot be read or lacks a required entry is refused,
// before anything is painted; the reason goes to reason.
bool PaintThumbnail(CDibDoc& doc, const std::string& input, int longSide, std::string& reason);
