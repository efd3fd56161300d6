#include "figure/paint_queue.h"

#include <system_error>
#include <utility>

PaintQueue::PaintQueue(Painter painter, bool threaded) : m_painter(std::move(painter)) {
    m_filling.reserve(kChunkCommands);
    if (!threaded) return;
    try {
        m_thread = std::thread(&PaintQueue::PaintChunks, this);
    } catch (const std::system_error&) {
        // No second thread: Push paints each command at once.
    }
}

PaintQueue::~PaintQueue() {
    Finish();
}

void PaintQueue::Push(const PaintCommand& command) {
    if (!m_thread.joinable()) {
        m_painter(command);
        return;
    }
    m_filling.push_back(command);
    if (m_filling.size() >= kChunkCommands) HandOver();
}

void PaintQueue::HandOver() {
    std::unique_lock lock(m_mutex);
    m_space.wait(lock, [this] { return m_waiting.size() < kMaxWaitingChunks; });
    m_waiting.push_back(std::move(m_filling));
    if (m_spare.empty()) {
        m_filling = Chunk();
        m_filling.reserve(kChunkCommands);
    } else {
        m_filling = std::move(m_spare.back());
        m_spare.pop_back();
    }
    lock.unlock();
    m_work.notify_one();
}

void PaintQueue::Finish() {
    if (!m_thread.joinable()) return;
    if (!m_filling.empty()) HandOver();
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void PaintQueue::PaintChunks() {
    for (;;) {
        Chunk chunk;
        {
            std::unique_lock lock(m_mutex);
            m_work.wait(lock, [this] { return !m_waiting.empty() || m_finished; });
            if (m_waiting.empty()) return;  // finished and nothing left
            chunk = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        m_space.notify_one();
        for (const PaintCommand& command : chunk) m_painter(command);
        chunk.clear();
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(chunk));
    }
}
