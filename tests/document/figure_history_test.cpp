#include "document/figure_history.h"

#include <gtest/gtest.h>

#include <vector>

#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "figure/figure_engine.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

// The default figure with Un = un, painted with every order.
FigureState StateWithUn(int un) {
    FigureEngine figure;
    figure.m_nUn = un;
    return CaptureFigureState(figure, -1);
}

StepInput Key(int source, std::int64_t milliseconds, bool autoRepeat = false) {
    return {source, milliseconds, autoRepeat};
}

constexpr int kRight = 1;
constexpr int kLeft = 2;

}  // namespace

TEST(FigureHistoryTest, AppliedStateGivesBackEveryCapturedParameterButTheNames) {
    FigureEngine original;
    original.m_nUn = 77;
    original.m_szSeries[5] = 'B';
    original.m_dCentreX = 0.125;
    original.m_orders[3].transparency = 0.75;
    original.SetColour(0x123456, 42);
    const FigureState state = CaptureFigureState(original, 4);
    FigureEngine other;
    other.SetNamesFromPath("/tmp/kept.dat");
    ApplyFigureState(other, state);
    EXPECT_EQ(CaptureFigureState(other, 4), state);
    EXPECT_STREQ(other.m_szName, "kept");
    EXPECT_FALSE(CaptureFigureState(other, -1) == state);  // the painted order counts
}

TEST(FigureHistoryTest, RepeatsOfOneInputMergeIntoOneStep) {
    struct Case {
        const char* name;
        std::vector<StepInput> inputs;  // after the first painting, one change each
        std::size_t steps;
        int firstRedoUn;  // where the first step leads
    };
    const std::vector<Case> cases = {
        {"same key within a second", {Key(kRight, 0), Key(kRight, 900), Key(kRight, 1800)}, 1, 3},
        {"same key after more than a second", {Key(kRight, 0), Key(kRight, 1001)}, 2, 1},
        {"held key, however slow the painting", {Key(kRight, 0), Key(kRight, 5000, true)}, 1, 2},
        {"other keys", {Key(kRight, 0), Key(kLeft, 10), Key(kRight, 20)}, 3, 1},
        {"inputs that never merge", {Key(0, 0), Key(0, 10)}, 2, 1},
        {"a clock going back", {Key(kRight, 1000), Key(kRight, 500)}, 2, 1},
    };
    for (const Case& c : cases) {
        FigureHistory history;
        history.Record(StateWithUn(0));
        for (std::size_t i = 0; i < c.inputs.size(); ++i) {
            history.Record(StateWithUn(static_cast<int>(i) + 1), c.inputs[i]);
        }
        EXPECT_EQ(history.UndoSteps(), c.steps) << c.name;
        while (history.CanUndo()) history.Undo();
        EXPECT_EQ(history.Redo()->un, c.firstRedoUn) << c.name;
    }
}

TEST(FigureHistoryTest, AnUndoEndsTheRepeatAndANewChangeDropsTheRedoSteps) {
    FigureHistory history;
    history.Record(StateWithUn(0));
    history.Record(StateWithUn(1), Key(kRight, 0));
    history.Record(StateWithUn(2), Key(0, 0));
    EXPECT_EQ(history.Undo()->un, 1);
    // The same key again right after the undo is a step of its own.
    history.Record(StateWithUn(5), Key(kRight, 100));
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(history.UndoSteps(), 2u);
    EXPECT_EQ(history.Undo()->un, 1);
    EXPECT_EQ(history.Undo()->un, 0);
    EXPECT_EQ(history.Undo(), nullptr);
    // A painting that changes nothing keeps the way forward.
    history.Record(StateWithUn(0), Key(kLeft, 200));
    ASSERT_TRUE(history.CanRedo());
    EXPECT_EQ(history.Redo()->un, 1);
    EXPECT_EQ(history.Redo()->un, 5);
    EXPECT_EQ(history.Redo(), nullptr);
}

TEST(FigureHistoryTest, KeepsTheLastThousandStepsWithinItsMemoryBound) {
    EXPECT_LT(FigureHistory::MemoryBound(), std::size_t{5} << 20);
    // Steps sharing one series take about 1.4 KB each; the worst case, a series of its own in every
    // step, stays below the stated bound.
    for (const bool ownSeries : {false, true}) {
        SCOPED_TRACE(ownSeries ? "a series of its own in every step" : "one series shared");
        FigureHistory history;
        for (int un = 0; un <= 1500; ++un) {
            FigureEngine figure;
            if (ownSeries) figure.m_szSeries[un % kMaxSeriesLetters] ^= 1;
            figure.m_nUn = un;
            history.Record(CaptureFigureState(figure, -1));
        }
        EXPECT_EQ(history.UndoSteps(), FigureHistory::kMaxSteps);
        EXPECT_LE(history.MemoryBytes(),
                  ownSeries ? FigureHistory::MemoryBound() : (FigureHistory::kMaxSteps + 1) * 1500);
        for (int i = 0; i < 1000; ++i) ASSERT_NE(history.Undo(), nullptr);
        EXPECT_FALSE(history.CanUndo());
        EXPECT_EQ(history.Redo()->un, 501);
        EXPECT_EQ(history.UndoSteps() + history.RedoSteps(), FigureHistory::kMaxSteps);
    }
}

// ---- The document ----------------------------------------------------------------------------

namespace {

class DocumentHistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(doc.OnNewDocument());
        Resize(160, 120);
    }
    void Resize(int width, int height) {
        doc.m_figure.m_nWidth = width;
        doc.m_figure.m_nHeight = height;
        doc.m_figure.UpdateTransform();
        ASSERT_NE(doc.PreparePicture(false), 0);
    }
    void ChangeUn() {
        doc.m_figure.m_nUn += 1;
        doc.RenderFigure(-1, false);
    }
    // The header and rows (a block kept from a larger picture is longer).
    std::vector<std::uint8_t> Picture() const {
        const auto bytes = DibPictureBytes(doc.m_pictureSize.width, doc.m_pictureSize.height);
        return {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + bytes};
    }

    TempDir dir;
    ScriptedPrompts ui;
    CDibDoc doc{ui};
};

}  // namespace

TEST_F(DocumentHistoryTest, UndoPaintsAnotherSizeAgainAndSavesLeaveTheHistory) {
    const std::vector<std::uint8_t> small = Picture();
    Resize(200, 150);
    doc.m_figure.m_nUn += 3;
    ASSERT_TRUE(doc.RenderFigure(-1, false));
    const std::vector<std::uint8_t> large = Picture();
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("saved.bmp")));
    doc.m_bPathConfirmed = true;
    ASSERT_TRUE(doc.SaveToNextFile());
    EXPECT_EQ(doc.History().UndoSteps(), 3u);  // the new document's resize, and the two here
    ASSERT_TRUE(doc.Undo() && doc.Undo());
    EXPECT_EQ(Picture(), small);
    EXPECT_EQ(doc.m_pictureSize.width, 160);
    EXPECT_STREQ(doc.m_figure.m_szName, "saved1");  // the names stay those of the last save
    ASSERT_TRUE(doc.Redo() && doc.Redo());
    EXPECT_EQ(Picture(), large);
    EXPECT_FALSE(doc.Redo());
}

TEST_F(DocumentHistoryTest, OpeningAFileStartsANewHistoryAndAPictureHasNone) {
    ChangeUn();
    ASSERT_TRUE(doc.CanUndo());
    ASSERT_EQ(SaveDatFile(FigureEngine{}, dir.File("fig.dat")), 0);
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("fig.dat")));
    EXPECT_FALSE(doc.CanUndo());
    ChangeUn();
    EXPECT_TRUE(doc.CanUndo());
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("pic.bmp")));
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("pic.bmp")));
    EXPECT_FALSE(doc.CanUndo());
    // Painting the opened picture's figure is its first figure: nothing before it to go back to.
    doc.m_bBitmapMode = false;
    doc.RenderFigure(-1, false);
    EXPECT_FALSE(doc.CanUndo());
    ChangeUn();
    EXPECT_TRUE(doc.CanUndo());
    doc.m_bBitmapMode = true;  // a pasted picture shows: no figure to walk
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_FALSE(doc.Undo());
}
