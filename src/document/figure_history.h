// The figure history of a document: every painting that changes the figure is one step, which
// Undo takes back and Redo brings again. A step holds the figure's parameters, never the
// painting, so the history of a document stays small whatever the picture size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "figure/figure_params.h"

// The figure's view block, accepted as one piece: size, current order, centre, exponent, the
// derived transform (with the centre pixel), version and comment.
struct AcceptedTransform {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t currentOrder = 0;
    double centreX = 0.0;
    double centreY = 0.0;
    double magnExp = 0.0;
    PictureTransform transform;
    char version[22] = {};
    char comment[106] = {};

    bool operator==(const AcceptedTransform&) const = default;
};

AcceptedTransform CaptureAcceptedTransform(const FigureParams& figure);
void RestoreAcceptedTransform(FigureParams& figure, const AcceptedTransform& accepted);

using SeriesLetters = std::array<char, kSeriesCapacity>;

// The figure as one painting showed it: everything the user changes except the project name and
// directory, which saves set and which Undo leaves as they are.
struct FigureState {
    // Steps of one series share it: most changes keep the series.
    std::shared_ptr<const SeriesLetters> series;
    std::int32_t seriesLength = 0;
    std::int32_t un = 0;
    std::int32_t gs = 0;
    std::uint8_t gradient = 0;
    std::array<std::uint8_t, kColourEntries * 3> colours{};
    AcceptedTransform view;
    std::array<OrderSettings, kOrderCount> orders{};
    int paintedOrder = -1;  // the order painted alone, or -1 for every drawn order

    bool operator==(const FigureState& other) const;
};

FigureState CaptureFigureState(const FigureParams& figure, int paintedOrder);
void ApplyFigureState(FigureParams& figure, const FigureState& state);

// What asked for a painting. Paintings asked for by the same input in a row merge into one step:
// a held key, or the same key pressed again within kRepeatMilliseconds of the last time.
struct StepInput {
    int source = 0;                 // the key or command; 0 never merges
    std::int64_t milliseconds = 0;  // when it came, on a steady clock
    bool autoRepeat = false;        // a held key: merges whatever the time between
};

class FigureHistory {
  public:
    // Steps kept for Undo and Redo together; the oldest go first. With the series shared, a
    // step is sizeof(FigureState) (about 1.4 KB); MemoryBound() is the worst case.
    static constexpr std::size_t kMaxSteps = 1000;
    static constexpr std::int64_t kRepeatMilliseconds = 1000;

    // Forgets every step; shown is the figure painted now (none for a picture document).
    void Reset(std::optional<FigureState> shown = std::nullopt);
    // A painting showed state, asked for by input. A change of the figure shown before is a
    // new step, dropping what Redo would have brought back, unless it repeats the last step's
    // input; an unchanged figure is no step.
    void Record(FigureState state, const StepInput& input = {});

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    std::size_t UndoSteps() const { return m_undo.size(); }
    std::size_t RedoSteps() const { return m_redo.size(); }
    // One step back or forward: the figure to paint now, or null when there is none.
    const FigureState* Undo();
    const FigureState* Redo();

    // Bytes the steps hold, counting each shared series once.
    std::size_t MemoryBytes() const;
    // The most MemoryBytes() can reach: every step, and the figure shown, with a series of its own.
    static constexpr std::size_t MemoryBound() {
        return (kMaxSteps + 1) * (sizeof(FigureState) + sizeof(SeriesLetters) + kSharedBlock);
    }

  private:
    // The control block make_shared puts before the letters.
    static constexpr std::size_t kSharedBlock = 32;
    bool Repeats(const StepInput& input) const;
    // Shows the next step of from (its last) and keeps the figure shown as the next of to.
    const FigureState* Step(std::deque<FigureState>& from, std::deque<FigureState>& to);

    std::deque<FigureState> m_undo;  // oldest first
    std::deque<FigureState> m_redo;  // next last
    std::optional<FigureState> m_shown;
    StepInput m_lastInput;
    bool m_bMayMerge = false;  // the last thing that happened was a step of m_lastInput
};
