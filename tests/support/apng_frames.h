// The frames of an animated PNG as still PNG files, so that any PNG reader can decode each one:
// the file's signature and IHDR, the frame's IDAT or fdAT data (without the sequence numbers) as
// IDAT chunks, and IEND. Frames are found by their fcTL chunks.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> StillFramesOfAnimatedPng(const std::string& file);

// The chunks of a PNG file in order: type and data.
std::vector<std::pair<std::string, std::string>> PngChunksOf(const std::string& file);
