// The three process-wide status texts. The active view writes them and the
// main frame shows them in its status-bar panes 102, 103 and 104.
#pragma once

#include "figure/figure_params.h"

constexpr int kStatusTextSize = 200;

extern char g_szModeText[kStatusTextSize];      // pane 102
extern char g_szOffsetText[kStatusTextSize];    // pane 103
extern char g_szPositionText[kStatusTextSize];  // pane 104

// The values the frame sets before any view writes: they also fix the pane widths.
void InitStatusTexts();

// Writes the texts for a view in the bitmap view or in the given arrow mode (0: centre,
// 1: Un and Gs) from the working parameters.
void WriteStatusTexts(bool bitmapView, int arrowMode, const FigureParams& figure);

// Sets the mode text alone (e.g. "Fit to Window"); the next paint overwrites it.
void SetModeText(const char* text);
