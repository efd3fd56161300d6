// The pasted-picture path on arbitrary bytes: the clipboard's block is copied into a document
// (ReplacePicture, AdoptPicture), and whatever the document keeps must be a picture that pixel
// reads, paintings, copies and saves walk without leaving it.
#include <cstring>
#include <memory>

#include "document/dib_doc.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "picture/jpeg_file.h"

namespace {

// Paintings of larger pictures are skipped: they take long and check nothing more.
constexpr std::size_t kPaintBytesLimit = 256 * 1024;

DibHandle ClipboardBlock(const std::uint8_t* data, std::size_t size) {
    DibHandle block = DibImage::Allocate(size);
    if (block) std::memcpy(block->Bytes(), data, size);
    return block;
}

// The view's paste: a private copy of the clipboard's block becomes the document's picture.
void Paste(CDibDoc& doc, const DibHandle& clipboard) {
    DibHandle copy = DibCopyBlock(clipboard);
    if (!copy) return;
    doc.m_bBitmapMode = true;
    doc.ReplacePicture(std::move(copy));
    doc.AdoptPicture();
    doc.SetModifiedFlag(true);
}

void CheckAdopted(const CDibDoc& doc) {
    const PictureSize size = doc.m_pictureSize;
    CheckPicture24(*doc.m_hDIB, size.width, size.height);
    FUZZ_CHECK(doc.m_figure.m_nWidth == size.width && doc.m_figure.m_nHeight == size.height);
    FUZZ_CHECK(doc.m_pPalette != nullptr);
}

// Pixel reads at the corners, just outside them and far away.
void ReadPixels(CDibDoc& doc) {
    const int w = doc.m_pictureSize.width, h = doc.m_pictureSize.height;
    const int xs[] = {-1, 0, w / 2, w - 1, w, 1 << 30};
    const int ys[] = {-1, 0, h / 2, h - 1, h, -(1 << 30)};
    for (int x : xs) {
        for (int y : ys) {
            COLORREF colour = 0;
            bool inside = x >= 0 && x < w && y >= 0 && y < h;
            FUZZ_CHECK(doc.PixelColourAt(x, y, colour) == inside);
        }
    }
}

// One order is painted, chosen by the last byte: every order walks the picture with the same
// bounds, and a whole figure takes tens of milliseconds. A tall, narrow picture shows a long
// stretch of the figure, where the fine orders take seconds, so it gets a coarse order.
constexpr int kFirstPaintedOrder = 5;

int ChooseOrder(const CDibDoc& doc, const std::uint8_t* data, std::size_t size) {
    const int choice = size != 0 ? data[size - 1] : 0;
    const PictureSize picture = doc.m_pictureSize;
    const bool tall = picture.height > 4 * std::int64_t{picture.width};
    return tall ? kFirstPaintedOrder + choice % (kOrderCount - kFirstPaintedOrder)
                : choice % kOrderCount;
}

// Painting, a copy for the clipboard and both saves of the adopted picture.
void PaintAndSave(CDibDoc& doc, int order, SilentPrompts& ui) {
    if (doc.m_hDIB->Size() > kPaintBytesLimit) return;
    FUZZ_CHECK(doc.RenderFigure(order, true));
    CheckAdopted(doc);
    DibHandle copy = DibCopyBlock(doc.m_hDIB);
    FUZZ_CHECK(copy && copy->Size() == doc.m_hDIB->Size());
    const std::string& dir = FuzzScratchDirectory();
    FUZZ_CHECK(DibSaveBmpFile(dir + "/pasted.bmp", doc.m_hDIB, 0, ui));
    FUZZ_CHECK(JpegWritePicture(dir + "/pasted.jpg", doc.m_hDIB, doc.m_nJpegQuality, ui));
}

// Back to the figure after a paste: a new picture of the size the paste left, or a refusal.
void PaintFigureAgain(CDibDoc& doc) {
    std::size_t bytes = DibPictureBytes(doc.m_figure.m_nWidth, doc.m_figure.m_nHeight);
    if (bytes > kPaintBytesLimit) return;
    for (int n = 0; n < kFirstPaintedOrder; ++n) doc.m_figure.m_orders[n].drawOrder = 0;
    int result = doc.PreparePicture(false);
    FUZZ_CHECK((result == 0) == (bytes == 0));
    if (result != 0) CheckPicture24(*doc.m_hDIB, doc.m_figure.m_nWidth, doc.m_figure.m_nHeight);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SilentPrompts ui;
    auto doc = std::make_unique<CDibDoc>(ui);
    DibHandle clipboard = ClipboardBlock(data, size);
    Paste(*doc, clipboard);
    if (doc->m_hDIB) {
        CheckAdopted(*doc);
        ReadPixels(*doc);
        PaintAndSave(*doc, ChooseOrder(*doc, data, size), ui);
    } else {
        PaintFigureAgain(*doc);  // a refused paste leaves the header's size behind
    }
    return 0;
}
