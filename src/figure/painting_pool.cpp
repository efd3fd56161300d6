#include "figure/painting_pool.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <exception>

#include "figure/band_painting.h"
#include "figure/figure_engine.h"

namespace {

// How long a waiting thread stays awake: long enough to bridge the showing of one painting before
// the next (a key held down in the view), short enough to cost little when nothing follows.
constexpr auto kAwake = std::chrono::milliseconds(5);

std::atomic<bool> g_forked{false};

inline void PauseWhileWaiting() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Waits until value differs from seen and returns it: awake for a while if asked, then asleep.
template <typename Value>
Value AwaitChange(const std::atomic<Value>& value, Value seen, bool stayAwake) {
    const auto until = std::chrono::steady_clock::now() + kAwake;
    for (unsigned spins = 1; stayAwake; ++spins) {
        const Value now = value.load(std::memory_order_acquire);
        if (now != seen) return now;
        if (spins % 256 == 0 && std::chrono::steady_clock::now() >= until) break;
        PauseWhileWaiting();
    }
    for (;;) {
        value.wait(seen, std::memory_order_acquire);
        const Value now = value.load(std::memory_order_acquire);
        if (now != seen) return now;
    }
}

}  // namespace

PaintingPool* PaintingPool::Shared() {
    // Never destroyed: a child of fork could not join its threads, and at the end of the process
    // they are only asleep.
    static PaintingPool* const pool = [] {
        pthread_atfork(nullptr, nullptr, [] { g_forked = true; });
        return new PaintingPool;
    }();
    return g_forked ? nullptr : pool;
}

PaintingPool::~PaintingPool() {
    m_quit.store(true, std::memory_order_release);
    for (auto& helper : m_helpers) {
        helper->call.fetch_add(1, std::memory_order_release);
        helper->call.notify_one();
        helper->thread.join();
    }
}

void PaintingPool::Grow(int count) {
    try {
        m_helpers.reserve(static_cast<std::size_t>(count));
    } catch (const std::exception&) {
        return;
    }
    while (static_cast<int>(m_helpers.size()) < count) {
        try {
            auto helper = std::make_unique<Helper>();
            helper->engine = std::make_unique<FigureEngine>();
            helper->thread = std::thread(&PaintingPool::Serve, this, std::ref(*helper));
            m_helpers.push_back(std::move(helper));  // room reserved: cannot throw
            m_started.store(static_cast<int>(m_helpers.size()), std::memory_order_relaxed);
        } catch (const std::exception&) {
            return;
        }
    }
}

void PaintingPool::Serve(Helper& helper) {
    for (std::uint32_t call = 0;;) {
        call = AwaitChange(helper.call, call, m_stayAwake.load(std::memory_order_relaxed));
        if (m_quit.load(std::memory_order_acquire)) return;
        try {
            (*m_work)(*helper.engine);
        } catch (...) {
        }
        if (m_busy.fetch_sub(1, std::memory_order_acq_rel) == 1) m_busy.notify_one();
    }
}

void PaintingPool::Run(int helpers, const FigureEngine& model, const HelperWork& work,
                       const std::function<void()>& own) {
    Round(helpers, &model, work, own);
}

void PaintingPool::ForEachPart(int parts, const std::function<void(int part)>& work, int helpers) {
    std::atomic<int> next{1};
    auto takeParts = [&](int part) {
        for (; part < parts; part = next++) work(part);
    };
    helpers = helpers < 0 ? parts - 1 : std::min(helpers, parts - 1);
    Round(
        helpers, nullptr, [&](FigureEngine&) { takeParts(next++); }, [&] { takeParts(0); });
}

void PaintingPool::Round(int helpers, const FigureEngine* model, const HelperWork& work,
                         const std::function<void()>& own) {
    std::lock_guard lock(m_runMutex);
    Grow(helpers);
    int taking = std::clamp(helpers, 0, static_cast<int>(m_helpers.size()));
    if (model != nullptr) {
        int copied = 0;
        try {
            for (; copied < taking; ++copied) *m_helpers[copied]->engine = *model;
        } catch (const std::exception&) {
        }
        taking = copied;
    }
    m_work = &work;
    // Awake waiting only while every thread of the round has a core: otherwise a waiting thread
    // would take a core from one still working.
    const bool stayAwake =
        m_awakeWaiting.load(std::memory_order_relaxed) && taking < DefaultPaintingThreads();
    m_stayAwake.store(stayAwake, std::memory_order_relaxed);
    m_busy.store(taking, std::memory_order_relaxed);
    for (int n = 0; n < taking; ++n) {
        m_helpers[n]->call.fetch_add(1, std::memory_order_release);
        m_helpers[n]->call.notify_one();
    }
    std::exception_ptr failure;
    try {
        own();
    } catch (...) {
        failure = std::current_exception();
    }
    for (int busy; (busy = m_busy.load(std::memory_order_acquire)) != 0;) {
        AwaitChange(m_busy, busy, stayAwake);
    }
    m_work = nullptr;
    if (failure) std::rethrow_exception(failure);
}
