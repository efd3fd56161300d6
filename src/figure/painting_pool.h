// Threads kept from one painting to the next, each with an engine of its own, so that a painting
// on every core starts at once and its helpers find their caches warm. A helper that has finished
// waits a little while awake before it sleeps: a core that went to sleep takes long to wake and
// runs slowly for a while after (on virtual machines most of all), which costs a painting of a
// few milliseconds a quarter of its speed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FigureEngine;

class PaintingPool {
  public:
    using HelperWork = std::function<void(FigureEngine&)>;

    // The pool of the process, made on first use; null in a child process made by fork (its
    // threads stayed in the parent).
    static PaintingPool* Shared();

    PaintingPool() = default;
    PaintingPool(const PaintingPool&) = delete;
    PaintingPool& operator=(const PaintingPool&) = delete;
    ~PaintingPool();

    // Gives up to `helpers` pool threads a copy of model each and runs work on it there, runs own
    // on the calling thread meanwhile, and returns when all are done. Fewer helpers take part when
    // the system refuses threads or memory; none when helpers is 0. work reports its own failures
    // (what it throws is dropped); what own throws comes out once the helpers are done. One
    // painting at a time: a second caller waits for the first.
    void Run(int helpers, const FigureEngine& model, const HelperWork& work,
             const std::function<void()>& own);
    // Whether a helper that has finished waits awake for a while (the default): worth it where
    // paintings follow each other (a key held down in the view), not in a process that paints
    // once and then writes a file, where the waiting would only take a core from the writer.
    void SetAwakeWaiting(bool awake) { m_awakeWaiting.store(awake, std::memory_order_relaxed); }
    // Helper threads started so far.
    int HelpersStarted() const { return m_started.load(std::memory_order_relaxed); }

    // Runs work(0) .. work(parts − 1) at once: part 0 on the calling thread, the others on up to
    // `helpers` helpers (parts − 1 when negative) as they come. work must not throw.
    void ForEachPart(int parts, const std::function<void(int part)>& work, int helpers = -1);

  private:
    struct Helper {
        std::unique_ptr<FigureEngine> engine;
        std::atomic<std::uint32_t> call{0};  // raised once per round the helper takes part in
        std::thread thread;
    };

    // Run, the engines copied only when model is given.
    void Round(int helpers, const FigureEngine* model, const HelperWork& work,
               const std::function<void()>& own);
    // Starts helpers up to count, as many as the system allows.
    void Grow(int count);
    void Serve(Helper& helper);
    std::mutex m_runMutex;
    std::vector<std::unique_ptr<Helper>> m_helpers;
    const HelperWork* m_work = nullptr;    // set before the helpers are called
    std::atomic<int> m_busy{0};            // helpers called and not yet done
    std::atomic<bool> m_stayAwake{false};  // how the threads of the last round wait
    std::atomic<bool> m_awakeWaiting{true};
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_started{0};
};
