// Parameter-file reading through a real file: any bytes leave a record whose values the rest of
// the program can use, the record's text reads back to the same text, and the figure it
// describes paints inside a small picture.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "document/dat_file.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

namespace {

// Small, so that each input paints in a few milliseconds; the bounds checks are the same at
// every size.
constexpr int kPaintWidth = 40;
constexpr int kPaintHeight = 30;
// The pentagon search grows with the part of the series in view, and at exponents far below the
// default (-7) all of it is in view: a painting then takes seconds at any picture size. Those
// are the figure engine's matter; the file's values are painted at the usual magnifications.
constexpr double kLowestPaintedExponent = -8.0;
// Numbers of up to 99 characters are read back whole; larger centres lose digits in the file.
constexpr double kExactlyStoredLimit = 1e80;

void CheckUsableRecord(const FigureEngine& figure) {
    FUZZ_CHECK(figure.m_nSeriesLen >= 0 && figure.m_nSeriesLen <= kMaxSeriesLetters);
    FUZZ_CHECK(std::strlen(figure.m_szSeries) == static_cast<std::size_t>(figure.m_nSeriesLen));
    FUZZ_CHECK(std::strspn(figure.m_szSeries, "BSR") == std::strlen(figure.m_szSeries));
    FUZZ_CHECK(std::memchr(figure.m_szVersion, 0, sizeof figure.m_szVersion) != nullptr);
    FUZZ_CHECK(std::memchr(figure.m_szComment, 0, sizeof figure.m_szComment) != nullptr);
    FUZZ_CHECK(figure.m_nCurrentOrder >= 0 && figure.m_nCurrentOrder < kOrderCount);
    FUZZ_CHECK(std::isfinite(figure.m_dCentreX) && std::isfinite(figure.m_dCentreY));
    FUZZ_CHECK(std::isfinite(figure.m_dMagnExp));
    for (const OrderSettings& order : figure.m_orders) {
        FUZZ_CHECK(order.transparency >= 0.0 && order.transparency <= 1.0);
        FUZZ_CHECK(order.drawOrder <= 1);
    }
}

bool StoredExactly(const FigureEngine& figure) {
    return std::fabs(figure.m_dCentreX) < kExactlyStoredLimit &&
           std::fabs(figure.m_dCentreY) < kExactlyStoredLimit &&
           std::fabs(figure.m_dMagnExp) < kExactlyStoredLimit;
}

// The text written for the record loads into a record that writes the same text. Files of
// version 1.0 carry six items per order, so the solid switches come back off.
void CheckTextReadsBack(const FigureEngine& figure, FuzzInputFile& output, SilentPrompts& ui) {
    auto expected = std::make_unique<FigureEngine>(figure);
    if (std::strcmp(expected->m_szVersion, "Dorvanta Version 1.0") == 0) {
        for (OrderSettings& order : expected->m_orders) {
            order.drawItems[ITEM_BIG_SOLID] = 0;
            order.drawItems[ITEM_SMALL_SOLID] = 0;
        }
    }
    std::string text = DatFileText(*expected);
    output.Replace(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    auto again = std::make_unique<FigureEngine>();
    FUZZ_CHECK(LoadDatFile(*again, output.Path(), ui) == DAT_OK);
    std::string textAgain = DatFileText(*again);
    if (textAgain != text) {
        auto at = std::mismatch(text.begin(), text.end(), textAgain.begin(), textAgain.end());
        std::size_t from = std::max<std::ptrdiff_t>(at.first - text.begin() - 40, 0);
        std::fprintf(stderr, "written:\n%s\nread back:\n%s\n", text.substr(from, 120).c_str(),
                     textAgain.substr(from, 120).c_str());
    }
    FUZZ_CHECK(textAgain == text);
}

void PaintSmall(FigureEngine& figure, SilentPrompts& ui) {
    figure.m_nWidth = kPaintWidth;
    figure.m_nHeight = kPaintHeight;
    figure.m_nRowBytes = static_cast<std::int32_t>(DibRowStride(kPaintWidth, 24));
    DibHandle picture;
    FUZZ_CHECK(DibAllocatePicture(picture, kPaintWidth, kPaintHeight, ui));
    DibInitHeader24(picture->Bytes(), kPaintWidth, kPaintHeight);
    figure.PaintFigure(picture->Bytes() + kDibHeaderBytes, -1, ui);
    CheckPicture24(*picture, kPaintWidth, kPaintHeight);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    static FuzzInputFile output;
    static SilentPrompts ui;
    input.Replace(data, size);
    auto figure = std::make_unique<FigureEngine>();
    LoadDatFile(*figure, input.Path(), ui);
    CheckUsableRecord(*figure);
    if (StoredExactly(*figure)) CheckTextReadsBack(*figure, output, ui);
    if (figure->m_dMagnExp >= kLowestPaintedExponent) PaintSmall(*figure, ui);
    return 0;
}
