// Painting by bands of rows: the whole picture on every core, or band after band straight into a
// picture file of any size in bounded memory. Whatever the threads and bands, the bytes and the
// shape list are those of one whole painting (PaintFigure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class FigureEngine;
class RowSink;
class UserPrompts;

// One thread per core, at least one.
int DefaultPaintingThreads();

// Runs work(0) .. work(parts − 1) on up to `threads` of the painting threads (the calling thread
// among them), all done on return; work must not throw.
void RunOnPaintingThreads(int parts, int threads, const std::function<void(int part)>& work);

// The threads worth giving a painting of this figure's size, at most `threads`: every band repeats
// the series and the search set-up, which costs as much as the raster of a small picture, so a
// picture gets one thread per kPixelsPerThread pixels (at least one). Helpers not started yet
// cost more: a thread's start, stack and heap are first touches of their own, worth it only from
// kPixelsPerStartedThread pixels a thread (a command-line run paints once).
constexpr std::int64_t kPixelsPerThread = std::int64_t{1} << 19;
constexpr std::int64_t kPixelsPerStartedThread = std::int64_t{1} << 21;
int ThreadsWorthUsing(const FigureEngine& figure, int threads, bool helpersRunning = true);

// Whether the painting threads of the process have started (a painting on several threads ran).
bool PaintingHelpersRunning();

// PaintFigure with up to `threads` threads, each painting bands of the picture (1 or less: the
// single-threaded PaintFigure). Leaves the engine as PaintFigure does; messages go through ui on
// the calling thread, once.
void PaintFigureThreaded(FigureEngine& figure, std::uint8_t* pixels, int order, UserPrompts& ui,
                         int threads);

// Pictures larger than this are painted by bands even on one thread (PaintFigure does): each band
// stays in the cache while it is painted.
constexpr std::int64_t kCachedPictureBytes = std::int64_t{16} << 20;

// Whether PaintFigure paints this engine's picture by bands.
bool PaintsInBands(const FigureEngine& figure);

// PaintFigure by bands of rows on up to `threads` threads (1: on the calling thread alone):
// bands of a size that stays in the cache for large pictures, at least two per thread. Leaves the
// engine as PaintFigure does.
void PaintInBands(FigureEngine& figure, std::uint8_t* pixels, int order, UserPrompts& ui,
                  int threads);

// Memory for the bands of a streamed painting, all threads together.
constexpr std::size_t kStreamBandMemory = std::size_t{96} << 20;

// Why a picture of this size cannot be painted band by band ("" when it can): its rows must fit
// the band memory.
std::string StreamSizeProblem(std::int64_t width, std::int64_t height);

// Rows handed to the sink so far, of all rows; false cancels the painting.
using PaintingProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

enum class StreamResult {
    Written,    // every row went to the sink
    Cancelled,  // progress asked to stop
    Failed,     // the sink failed (it reported why) or no memory for the bands (reported here)
};

// Paints the figure at its size band after band into sink, in the sink's row order, with up to
// `threads` bands painted at once while the finished ones are written. The engine ends as after
// PaintFigure, without pixels; a failure stops every band and is reported once.
StreamResult PaintIntoSink(FigureEngine& figure, int order, RowSink& sink, int threads,
                           UserPrompts& ui, const PaintingProgress& progress = {});
