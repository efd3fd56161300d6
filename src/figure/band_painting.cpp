// Bands of rows painted by several engines at once. Each band paints only its rows and counts and
// records only the pentagons whose vertex 3 lies in its strip of figure y; the strips of all bands
// cover every y once, so the counts add up and the recorded shapes, merged in search order, are
// the whole painting's list. Every band builds the same series and so says the same things: the
// messages of the first band are shown, on the calling thread.
#include "figure/band_painting.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "figure/figure_engine.h"
#include "figure/painting_pool.h"
#include "picture/dib_image.h"
#include "picture/page_memory.h"
#include "picture/row_sink.h"
#include "picture/user_prompts.h"

namespace {

constexpr int kMaxThreads = 64;
// Bands per thread in a painting of a picture that fits the cache: every band repeats the series
// building and the setup of every search, which costs more than the halves of a picture differ.
constexpr int kBandsPerThread = 1;

// A band of a large picture stays in a core's cache while its pentagons are blended into it: a
// painting that runs over the whole of such a picture for every pentagon waits on memory.
constexpr std::size_t kCacheBandBytes = std::size_t{3} << 19;  // 1.5 MiB

struct Band {
    int first = 0;
    int rows = 0;
};

// Threads for a painting: at least one, at most kMaxThreads and one per row.
int UsableThreads(const FigureEngine& f, int threads) {
    return std::clamp(threads, 1, std::min(kMaxThreads, std::max(f.m_nHeight, 1)));
}

// Rows per band: kBandsPerThread per thread, and bands that fit the cache in pictures too large
// for it (taken by whichever thread is free, which also evens out the threads' work).
int BandRows(const FigureEngine& f, int threads) {
    std::int64_t bands = std::int64_t{kBandsPerThread} * threads;
    if (PaintsInBands(f)) {
        bands = std::max<std::int64_t>(
            bands, std::int64_t{f.m_nRowBytes} * f.m_nHeight / std::int64_t{kCacheBandBytes});
    }
    bands = std::clamp<std::int64_t>(bands, 1, std::max(f.m_nHeight, 1));
    return static_cast<int>((f.m_nHeight + bands - 1) / bands);
}

// Bands of `rows` rows (the last may be shorter) in the order given: from the bottom row up, or
// from the top row down.
std::vector<Band> SplitRows(int height, int rows, bool bottomUp) {
    std::vector<Band> bands;
    for (int done = 0; done < height; done += rows) {
        const int count = std::min(rows, height - done);
        bands.push_back({bottomUp ? done : height - done - count, count});
    }
    return bands;
}

// The figure y where the strip of the band starting at this row begins. Neighbouring bands
// compute their common boundary alike, so the strips meet exactly; without a usable scale every
// boundary is +∞ and the first band keeps everything.
double StripBoundary(const FigureEngine& f, std::int64_t row) {
    const double scale = f.m_transform.scale;
    if (!(scale > 0) || !std::isfinite(scale)) return HUGE_VAL;
    return f.m_dCentreY + (static_cast<double>(row) - f.m_transform.halfHeight) / scale;
}

BandShare ShareOf(const FigureEngine& f, const Band& band) {
    BandShare share;
    share.windowed = true;
    share.lowOpen = band.first <= 0;
    share.highOpen = band.first + band.rows >= f.m_nHeight;
    share.low = StripBoundary(f, band.first);
    share.high = StripBoundary(f, std::int64_t{band.first} + band.rows);
    return share;
}

auto SearchKey(const BandShare::Shape& s) {
    return std::tie(s.search, s.i, s.j, s.down);
}

void AddCounts(std::array<PentagonCounts, kOrderCount>& counts, const BandShare& share) {
    for (int n = 0; n < kOrderCount; ++n) {
        PentagonCounts& c = counts[n];
        const PentagonCounts& add = share.counts[n];
        c = {c.bigUp + add.bigUp, c.bigDown + add.bigDown, c.smallUp + add.smallUp,
             c.smallDown + add.smallDown};
    }
}

// The shapes and counts of bands handed over one after the other, gathered in search order.
class ShareTotals {
  public:
    void Add(BandShare& share) {
        AddCounts(m_counts, share);
        // The first kMaxShapes of the merge hold at most kMaxShapes of each band.
        std::vector<BandShare::Shape> merged;
        merged.reserve(std::min<std::size_t>(kMaxShapes, m_shapes.size() + share.shapes.size()));
        std::merge(m_shapes.begin(), m_shapes.end(), share.shapes.begin(), share.shapes.end(),
                   std::back_inserter(merged),
                   [](const auto& a, const auto& b) { return SearchKey(a) < SearchKey(b); });
        if (merged.size() > kMaxShapes) merged.resize(kMaxShapes);
        m_shapes.swap(merged);
        share.shapes = {};
    }

    void StoreIn(FigureEngine& f) const {
        f.m_counts = m_counts;
        f.m_nShapes = static_cast<std::int32_t>(m_shapes.size());
        for (std::size_t n = 0; n < m_shapes.size(); ++n) f.m_shapes[n] = m_shapes[n].record;
    }

  private:
    std::vector<BandShare::Shape> m_shapes;
    std::array<PentagonCounts, kOrderCount> m_counts{};
};

// The shares of all bands at once, their shapes merged in search order straight into the
// engine's list: at the shape limit every band holds thousands, too many to copy twice.
void StoreShares(FigureEngine& f, const std::vector<BandShare>& shares) {
    f.m_counts = {};
    for (const BandShare& share : shares) AddCounts(f.m_counts, share);
    std::vector<std::size_t> taken(shares.size(), 0);
    int stored = 0;
    for (; stored < kMaxShapes; ++stored) {
        const BandShare::Shape* first = nullptr;
        std::size_t from = 0;
        for (std::size_t b = 0; b < shares.size(); ++b) {
            if (taken[b] == shares[b].shapes.size()) continue;
            const BandShare::Shape& head = shares[b].shapes[taken[b]];
            if (first == nullptr || SearchKey(head) < SearchKey(*first)) {
                first = &head;
                from = b;
            }
        }
        if (first == nullptr) break;
        f.m_shapes[stored] = first->record;
        ++taken[from];
    }
    f.m_nShapes = stored;
}

// Copies of the engine for the helper threads; fewer when memory is short.
std::vector<std::unique_ptr<FigureEngine>> EngineCopies(const FigureEngine& f, int count) {
    std::vector<std::unique_ptr<FigureEngine>> copies;
    try {
        for (int n = 0; n < count; ++n) copies.push_back(std::make_unique<FigureEngine>(f));
    } catch (const std::bad_alloc&) {
    }
    return copies;
}

// Starts one thread per engine running work(engine); as many as the system allows.
template <typename Work>
std::vector<std::thread> StartThreads(std::vector<std::unique_ptr<FigureEngine>>& engines,
                                      Work work) {
    std::vector<std::thread> threads;
    try {
        for (auto& engine : engines) threads.emplace_back(work, engine.get());
    } catch (const std::exception&) {
    }
    return threads;
}

void JoinAll(std::vector<std::thread>& threads) {
    for (std::thread& t : threads) t.join();
}

}  // namespace

int DefaultPaintingThreads() {
    // Read once: the count comes from a file of the system, and every painting and every repaint
    // of the view asks for it.
    static const int cores =
        std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    return cores;
}

void RunOnPaintingThreads(int parts, int threads, const std::function<void(int part)>& work) {
    PaintingPool* pool = threads > 1 && parts > 1 ? PaintingPool::Shared() : nullptr;
    if (pool == nullptr) {
        for (int part = 0; part < parts; ++part) work(part);
        return;
    }
    pool->ForEachPart(parts, work, std::min(threads, kMaxThreads) - 1);
}

int ThreadsWorthUsing(const FigureEngine& figure, int threads, bool helpersRunning) {
    const std::int64_t pixels = std::int64_t{figure.m_nWidth} * std::max(figure.m_nHeight, 0);
    const std::int64_t perThread = helpersRunning ? kPixelsPerThread : kPixelsPerStartedThread;
    return static_cast<int>(std::clamp<std::int64_t>(pixels / perThread, 1, std::max(threads, 1)));
}

bool PaintingHelpersRunning() {
    const PaintingPool* pool = PaintingPool::Shared();
    return pool != nullptr && pool->HelpersStarted() > 0;
}

void PaintFigureThreaded(FigureEngine& figure, std::uint8_t* pixels, int order, UserPrompts& ui,
                         int threads) {
    threads = UsableThreads(figure, threads);
    if (threads == 1 || pixels == nullptr) {
        figure.PaintFigure(pixels, order, ui);
        return;
    }
    PaintInBands(figure, pixels, order, ui, threads);
}

bool PaintsInBands(const FigureEngine& figure) {
    return std::int64_t{figure.m_nRowBytes} * figure.m_nHeight > kCachedPictureBytes;
}

void PaintInBands(FigureEngine& figure, std::uint8_t* pixels, int order, UserPrompts& ui,
                  int threads) {
    threads = UsableThreads(figure, threads);
    figure.UpdateTransform();
    const std::vector<Band> bands = SplitRows(figure.m_nHeight, BandRows(figure, threads), true);
    std::vector<BandShare> shares;
    for (const Band& band : bands) shares.push_back(ShareOf(figure, band));
    std::vector<HeldPrompts> held(bands.size());
    std::atomic<std::size_t> next{1};
    std::atomic<bool> failed{false};
    // Band 0 is the calling thread's, so that its engine is left as after a whole painting.
    auto paintBands = [&](FigureEngine* engine, std::size_t b) {
        try {
            for (; b < bands.size() && !failed; b = next++) {
                const Band& band = bands[b];
                engine->PaintBand(pixels + std::int64_t{band.first} * figure.m_nRowBytes,
                                  band.first, band.rows, order, held[b], shares[b]);
            }
        } catch (const std::exception&) {
            failed = true;
        }
    };
    PaintingPool* pool = threads > 1 ? PaintingPool::Shared() : nullptr;
    if (pool != nullptr) {
        pool->Run(
            threads - 1, figure, [&](FigureEngine& engine) { paintBands(&engine, next++); },
            [&] { paintBands(&figure, 0); });
    } else {
        paintBands(&figure, 0);  // one thread, or a child of fork: no helpers
    }
    if (failed) {
        // Short of memory for a band: the whole painting in one go.
        figure.PaintBand(pixels, 0, figure.m_nHeight, order, ui);
        return;
    }
    StoreShares(figure, shares);
    held.front().ShowTo(ui);
}

std::string StreamSizeProblem(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return "a picture needs a positive width and height";
    // Two bands of at least one row each: one painted while the other is written.
    const std::int64_t widest = static_cast<std::int64_t>(kStreamBandMemory / 2 / 3);
    if (width > widest || height > 0x7FFFFFFF) {
        return "pictures painted band by band are at most " + std::to_string(widest) +
               " pixels wide and 2147483647 high, not " + std::to_string(width) + "x" +
               std::to_string(height);
    }
    return "";
}

namespace {

// The bands of a streamed painting: painted into slots by the helper threads and by the calling
// thread, which hands the finished ones to the sink in order whenever the next is ready and
// paints otherwise; a slot written is given to a later band. So `threads` threads work in all:
// one thread paints and writes by turns.
class BandStream {
  public:
    BandStream(FigureEngine& figure, int order, RowSink& sink, int threads)
        : m_figure(figure), m_order(order), m_sink(sink), m_threads(threads) {}

    StreamResult Run(UserPrompts& ui, const PaintingProgress& progress);

  private:
    struct Slot {
        PageBuffer rows;
        BandShare share;
        HeldPrompts held;
        FigureEngine* painter = nullptr;
        bool ready = false;
        bool failed = false;
    };
    // What the calling thread does next.
    enum class Turn { Write, Paint, Wait, Done };

    bool MakeSlots();
    void PaintInto(FigureEngine& engine, std::size_t b);
    void Work(FigureEngine* engine);
    bool WriteBand(Slot& slot, const Band& band);
    Turn NextTurn(std::size_t& band);
    // Writes the ready band; false when the painting ends (failed, cancelled).
    bool HandOver(std::size_t b, UserPrompts& ui, const PaintingProgress& progress);

    FigureEngine& m_figure;
    int m_order;
    RowSink& m_sink;
    int m_threads;  // all threads, the calling one included
    std::size_t m_rowBytes = 0;
    std::vector<Band> m_bands;
    std::vector<BandShare> m_strips;  // each band's strip, worked out before the painting
    std::vector<Slot> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;     // the next band to paint
    std::size_t m_written = 0;  // bands handed to the sink
    bool m_stop = false;
    ShareTotals m_totals;
    FigureEngine* m_lastPainter = nullptr;
    StreamResult m_result = StreamResult::Written;
    std::int64_t m_done = 0;
};

bool BandStream::MakeSlots() {
    // Bands that fit the cache (one row at least); a slot for every thread, one for a band that
    // waits to be written and one more, so that the painters run ahead of a slow writer.
    const auto rows = static_cast<int>(std::clamp<std::size_t>(
        kCacheBandBytes / m_rowBytes, 1, static_cast<std::size_t>(m_figure.m_nHeight)));
    const std::size_t slotCount = std::clamp<std::size_t>(
        kStreamBandMemory / (static_cast<std::size_t>(rows) * m_rowBytes), 1, m_threads + 2);
    m_bands = SplitRows(m_figure.m_nHeight, rows, m_sink.BottomUp());
    m_threads = static_cast<int>(std::min<std::size_t>(m_threads, m_bands.size()));
    try {
        for (const Band& band : m_bands) m_strips.push_back(ShareOf(m_figure, band));
        m_slots.resize(std::min(slotCount, m_bands.size()));
    } catch (const std::bad_alloc&) {
        m_slots.clear();
        return false;
    }
    // Zero-filled, so the padding of every row is zero for good: the painting never writes it.
    for (Slot& slot : m_slots) {
        slot.rows = PageBuffer(static_cast<std::size_t>(rows) * m_rowBytes);
        if (!slot.rows) {
            m_slots.clear();
            return false;
        }
    }
    return true;
}

void BandStream::PaintInto(FigureEngine& engine, std::size_t b) {
    Slot& slot = m_slots[b % m_slots.size()];
    const Band& band = m_bands[b];
    slot.painter = &engine;
    try {
        slot.held = HeldPrompts();
        if (m_bands.size() == 1) {
            // The whole picture: a plain painting, recording straight into the engine's list.
            engine.PaintBand(slot.rows.data(), band.first, band.rows, m_order, slot.held);
        } else {
            slot.share = m_strips[b];
            engine.PaintBand(slot.rows.data(), band.first, band.rows, m_order, slot.held,
                             slot.share);
        }
        slot.failed = false;
    } catch (const std::exception&) {
        slot.failed = true;
    }
}

void BandStream::Work(FigureEngine* engine) {
    for (;;) {
        std::size_t b = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return m_stop || m_next >= m_bands.size() || m_next < m_written + m_slots.size();
            });
            if (m_stop || m_next >= m_bands.size()) return;
            b = m_next++;
        }
        PaintInto(*engine, b);
        std::lock_guard lock(m_mutex);
        m_slots[b % m_slots.size()].ready = true;
        m_changed.notify_all();
    }
}

bool BandStream::WriteBand(Slot& slot, const Band& band) {
    const auto stride = static_cast<std::ptrdiff_t>(m_rowBytes);
    if (m_sink.BottomUp()) return m_sink.WriteRows(slot.rows.data(), band.rows, stride);
    return m_sink.WriteRows(slot.rows.data() + (band.rows - 1) * stride, band.rows, -stride);
}

BandStream::Turn BandStream::NextTurn(std::size_t& band) {
    std::unique_lock lock(m_mutex);
    if (m_written == m_bands.size()) return Turn::Done;
    if (m_slots[m_written % m_slots.size()].ready) {
        band = m_written;
        return Turn::Write;
    }
    if (m_next < m_bands.size() && m_next < m_written + m_slots.size()) {
        band = m_next++;
        return Turn::Paint;
    }
    m_changed.wait(lock, [&] { return m_slots[m_written % m_slots.size()].ready; });
    return Turn::Wait;
}

bool BandStream::HandOver(std::size_t b, UserPrompts& ui, const PaintingProgress& progress) {
    Slot& slot = m_slots[b % m_slots.size()];
    if (slot.failed) {
        ui.ShowMessage(kTooLargePictureText, MsgButtons::Ok, MsgIcon::Exclamation);
        m_result = StreamResult::Failed;
        return false;
    }
    if (b == 0) slot.held.ShowTo(ui);
    if (!WriteBand(slot, m_bands[b])) {
        m_result = StreamResult::Failed;
        return false;
    }
    m_totals.Add(slot.share);
    m_lastPainter = slot.painter;
    m_done += m_bands[b].rows;
    {
        std::lock_guard lock(m_mutex);
        slot.ready = false;
        m_written = b + 1;
        m_changed.notify_all();
    }
    if (progress && !progress(m_done, m_figure.m_nHeight)) {
        m_result = StreamResult::Cancelled;
        return false;
    }
    return true;
}

StreamResult BandStream::Run(UserPrompts& ui, const PaintingProgress& progress) {
    m_rowBytes = static_cast<std::size_t>(DibRowStride(m_figure.m_nWidth, 24));
    if (m_figure.m_nWidth <= 0 || m_figure.m_nHeight <= 0) {
        ui.ShowMessage(EmptyPictureText(m_figure.m_nWidth, m_figure.m_nHeight), MsgButtons::Ok,
                       MsgIcon::Exclamation);
        return StreamResult::Failed;
    }
    m_figure.m_nRowBytes = static_cast<std::int32_t>(m_rowBytes);
    m_figure.UpdateTransform();
    if (!StreamSizeProblem(m_figure.m_nWidth, m_figure.m_nHeight).empty() || !MakeSlots()) {
        ui.ShowMessage(kTooLargePictureText, MsgButtons::Ok, MsgIcon::Exclamation);
        return StreamResult::Failed;
    }
    // The helpers' engines are copied before the calling thread paints with its own.
    std::vector<std::unique_ptr<FigureEngine>> engines = EngineCopies(m_figure, m_threads - 1);
    std::vector<std::thread> helpers =
        StartThreads(engines, [this](FigureEngine* engine) { Work(engine); });
    m_lastPainter = &m_figure;
    for (bool going = true; going;) {
        std::size_t b = 0;
        switch (NextTurn(b)) {
            case Turn::Write:
                going = HandOver(b, ui, progress);
                break;
            case Turn::Paint:
                PaintInto(m_figure, b);
                {
                    std::lock_guard lock(m_mutex);
                    m_slots[b % m_slots.size()].ready = true;
                }
                break;
            case Turn::Wait:
                break;
            case Turn::Done:
                going = false;
                break;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    JoinAll(helpers);
    if (m_result == StreamResult::Written) {
        // The series of the last order and the rest as a whole painting leaves them.
        if (m_lastPainter != &m_figure) m_figure = *m_lastPainter;
        if (m_bands.size() > 1) m_totals.StoreIn(m_figure);
    }
    return m_result;
}

}  // namespace

StreamResult PaintIntoSink(FigureEngine& figure, int order, RowSink& sink, int threads,
                           UserPrompts& ui, const PaintingProgress& progress) {
    BandStream stream(figure, order, sink, std::clamp(threads, 1, kMaxThreads));
    return stream.Run(ui, progress);
}
