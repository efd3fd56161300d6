#include "document/figure_history.h"

#include <cstring>
#include <set>
#include <utility>

bool FigureState::operator==(const FigureState& other) const {
    const bool sameSeries =
        series == other.series || (series && other.series && *series == *other.series);
    return sameSeries && seriesLength == other.seriesLength && un == other.un && gs == other.gs &&
           gradient == other.gradient && colours == other.colours && view == other.view &&
           orders == other.orders && paintedOrder == other.paintedOrder;
}

FigureState CaptureFigureState(const FigureParams& figure, int paintedOrder) {
    FigureState state;
    auto series = std::make_shared<SeriesLetters>();
    std::memcpy(series->data(), figure.m_szSeries, series->size());
    state.series = std::move(series);
    state.seriesLength = figure.m_nSeriesLen;
    state.un = figure.m_nUn;
    state.gs = figure.m_nGs;
    state.gradient = figure.m_bGradient;
    std::memcpy(state.colours.data(), figure.m_colours, state.colours.size());
    state.view = CaptureAcceptedTransform(figure);
    state.orders = figure.m_orders;
    state.paintedOrder = paintedOrder;
    return state;
}

void ApplyFigureState(FigureParams& figure, const FigureState& state) {
    if (state.series) std::memcpy(figure.m_szSeries, state.series->data(), state.series->size());
    figure.m_nSeriesLen = state.seriesLength;
    figure.m_nUn = state.un;
    figure.m_nGs = state.gs;
    figure.m_bGradient = state.gradient;
    std::memcpy(figure.m_colours, state.colours.data(), state.colours.size());
    RestoreAcceptedTransform(figure, state.view);
    figure.m_orders = state.orders;
}

void FigureHistory::Reset(std::optional<FigureState> shown) {
    m_undo.clear();
    m_redo.clear();
    m_shown = std::move(shown);
    m_bMayMerge = false;
}

bool FigureHistory::Repeats(const StepInput& input) const {
    if (!m_bMayMerge || input.source == 0 || input.source != m_lastInput.source) return false;
    const std::int64_t since = input.milliseconds - m_lastInput.milliseconds;
    return input.autoRepeat || (since >= 0 && since <= kRepeatMilliseconds);
}

void FigureHistory::Record(FigureState state, const StepInput& input) {
    if (m_shown && *m_shown == state) return;
    if (!m_shown) {
        // The first painting of a figure: nothing before it to go back to.
        m_shown = std::move(state);
        m_bMayMerge = false;
        return;
    }
    if (m_shown->series && state.series && *m_shown->series == *state.series) {
        state.series = m_shown->series;
    }
    if (!Repeats(input)) {
        m_undo.push_back(std::move(*m_shown));
        if (m_undo.size() > kMaxSteps) m_undo.pop_front();
    }
    m_redo.clear();
    m_shown = std::move(state);
    m_lastInput = input;
    m_bMayMerge = input.source != 0;
}

const FigureState* FigureHistory::Undo() {
    return Step(m_undo, m_redo);
}

const FigureState* FigureHistory::Redo() {
    return Step(m_redo, m_undo);
}

const FigureState* FigureHistory::Step(std::deque<FigureState>& from, std::deque<FigureState>& to) {
    if (from.empty() || !m_shown) return nullptr;
    to.push_back(std::move(*m_shown));
    m_shown = std::move(from.back());
    from.pop_back();
    m_bMayMerge = false;
    return &*m_shown;
}

std::size_t FigureHistory::MemoryBytes() const {
    std::set<const SeriesLetters*> series;
    std::size_t bytes = 0;
    auto count = [&](const FigureState& state) {
        bytes += sizeof(FigureState);
        if (state.series && series.insert(state.series.get()).second) {
            bytes += sizeof(SeriesLetters) + kSharedBlock;
        }
    };
    for (const FigureState& state : m_undo) count(state);
    for (const FigureState& state : m_redo) count(state);
    if (m_shown) count(*m_shown);
    return bytes;
}
