#include "view/status_texts.h"

#include <cstdio>

char g_szModeText[kStatusTextSize];
char g_szOffsetText[kStatusTextSize];
char g_szPositionText[kStatusTextSize];

namespace {

void CopyText(char (&target)[kStatusTextSize], const char* text) {
    std::snprintf(target, kStatusTextSize, "%s", text);
}

}  // namespace

void InitStatusTexts() {
    CopyText(g_szModeText, "Arrow keys change Un, Gs offset");
    CopyText(g_szOffsetText, "                                                ");  // 48 blanks
    CopyText(g_szPositionText, "_________________________________");               // 33 underscores
}

void SetModeText(const char* text) {
    CopyText(g_szModeText, text);
}

void WriteStatusTexts(bool bitmapView, int arrowMode, const FigureParams& figure) {
    if (bitmapView) {
        CopyText(g_szModeText, "Bitmap View");
        CopyText(g_szOffsetText, "");
    } else {
        CopyText(g_szModeText,
                 arrowMode == 0 ? "Arrow keys change pos" : "Arrow keys change Un and Gs offset");
        std::snprintf(g_szOffsetText, kStatusTextSize, "Un: %i     Gs: %i        (error= %4.2f)",
                      figure.m_nUn, figure.m_nGs, figure.m_nUn * kPhi - figure.m_nGs);
    }
    std::snprintf(g_szPositionText, kStatusTextSize,
                  " X: %4.1f  Y: %4.1f   Magn (exp): %4.1f  Order %i", figure.m_dCentreX,
                  figure.m_dCentreY, figure.m_dMagnExp, figure.m_nCurrentOrder);
}
