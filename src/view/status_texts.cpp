#include "view/status_texts.h"

#include <cmath>
#include <cstdio>
#include <string>

char g_szModeText[kStatusTextSize];
char g_szOffsetText[kStatusTextSize];
char g_szPositionText[kStatusTextSize];

namespace {

void CopyText(char (&target)[kStatusTextSize], const char* text) {
    std::snprintf(target, kStatusTextSize, "%s", text);
}

// "%4.1f", except for magnitudes whose hundreds of digits would push the order out of the text.
std::string PositionNumber(double value) {
    char text[48];
    const bool fixed = !(std::fabs(value) >= 1e15);
    std::snprintf(text, sizeof text, fixed ? "%4.1f" : "%.6g", value);
    return text;
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
    std::snprintf(g_szPositionText, kStatusTextSize, " X: %s  Y: %s   Magn (exp): %s  Order %i",
                  PositionNumber(figure.m_dCentreX).c_str(),
                  PositionNumber(figure.m_dCentreY).c_str(),
                  PositionNumber(figure.m_dMagnExp).c_str(), figure.m_nCurrentOrder);
}
