// PaintQueue: the raster work of one painting handed to a second thread. The search and the
// geometry run on the caller's thread and issue commands; one painter thread paints them in
// exactly the order they were issued, so every pixel sees the same sequence of blends as when
// the caller paints them itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "figure/figure_engine.h"

// One primitive of a painting: a segment, or a pentagon with its fill, outline and star.
struct PaintCommand {
    enum class Kind : std::uint8_t { Segment, Pentagon };
    Kind kind = Kind::Segment;
    bool fill = false;         // pentagon: solid fill
    bool gradient = false;     // pentagon: gradient instead of flat fill
    bool outline = false;      // pentagon: edges
    bool star = false;         // pentagon: pentagram
    PentagonVertices pixel{};  // segment: end points in pixel[0] and pixel[1]
    FigurePoint direction{};   // gradient shading direction, (0, 0) for the radial form
    double radius = 0.0;       // gradient radius in pixels
    std::uint32_t colour = 0;  // segment colour, or the pentagon's solid colour
    std::uint32_t outlineColour = 0;
    std::uint32_t starColour = 0;
    double transparency = 0.0;
};

class PaintQueue {
  public:
    using Painter = std::function<void(const PaintCommand&)>;

    // Without threaded (or when no thread can be started) Push paints each command at once.
    PaintQueue(Painter painter, bool threaded);
    ~PaintQueue();  // Finish()
    PaintQueue(const PaintQueue&) = delete;
    PaintQueue& operator=(const PaintQueue&) = delete;

    void Push(const PaintCommand& command);
    // Hands over what is left and waits until every command has been painted.
    void Finish();

  private:
    using Chunk = std::vector<PaintCommand>;
    static constexpr std::size_t kChunkCommands = 512;
    static constexpr std::size_t kMaxWaitingChunks = 8;  // bounds the memory of a painting

    void HandOver();
    void PaintChunks();

    Painter m_painter;
    Chunk m_filling;
    std::deque<Chunk> m_waiting;
    std::vector<Chunk> m_spare;
    std::mutex m_mutex;
    std::condition_variable m_work;   // signals the painter thread
    std::condition_variable m_space;  // signals the issuing thread
    bool m_finished = false;
    std::thread m_thread;
};
