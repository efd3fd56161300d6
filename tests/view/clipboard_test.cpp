#include "view/clipboard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <vector>

#include "document/dib_doc.h"
#include "support/scripted_prompts.h"
#include "view/command_ids.h"
#include "view/dib_view.h"

namespace {

// A painted figure document of the given size with its view.
struct Window {
    Window(int width, int height, int viewWidth, int viewHeight) {
        EXPECT_TRUE(doc.OnNewDocument());
        doc.m_figure.m_nWidth = width;
        doc.m_figure.m_nHeight = height;
        EXPECT_EQ(doc.PreparePicture(false), RESULT_INIT);
        view = std::make_unique<CDibView>(doc);
        view->resize(viewWidth, viewHeight);
        view->show();
        view->OnInitialUpdate();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    bool Enabled(int id) const {
        CmdUI ui;
        ui.id = id;
        EXPECT_TRUE(view->Commands().Update(ui));
        return ui.enabled;
    }

    std::vector<std::uint8_t> Picture() const {
        return {doc.m_hDIB->Bytes(), doc.m_hDIB->Bytes() + doc.m_hDIB->Size()};
    }

    ScriptedPrompts prompts;
    CDibDoc doc{prompts};
    std::unique_ptr<CDibView> view;
};

QClipboard& Clipboard() {
    return *QGuiApplication::clipboard();
}

// Blue, green, red of picture pixel (x, y), y counted from the top line.
QRgb PixelOf(const DibImage& block, int x, int y) {
    const DibInfo info = DibDescribe(block.Bytes());
    const std::uint8_t* p = DibPixelData(block.Bytes(), 0) +
                            (info.height - 1 - y) * DibRowStride(info.width, 24) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

std::uint32_t U32At(const QByteArray& bytes, int offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(bytes[offset + i]);
    return v;
}

}  // namespace

TEST(Clipboard, CopyInOneDocumentPasteInAnother) {
    Window first(300, 200, 400, 300);
    Window second(120, 90, 160, 110);
    second.doc.m_figure.m_nUn = 77;
    second.doc.m_figure.SetColour(0x102030, 12);
    second.doc.m_figure.m_dCentreX = 1.5;
    const FigureParams before = second.doc.m_figure;

    ASSERT_TRUE(first.view->Commands().Execute(ID_EDIT_COPY));
    EXPECT_TRUE(second.Enabled(ID_EDIT_PASTE));
    ASSERT_TRUE(second.view->Commands().Execute(ID_EDIT_PASTE));

    // The picture's header and rows arrive byte for byte (the block behind them may be larger).
    const std::size_t bytes = DibPictureBytes(300, 200);
    ASSERT_EQ(second.doc.m_hDIB->Size(), bytes);
    EXPECT_EQ(std::memcmp(second.doc.m_hDIB->Bytes(), first.doc.m_hDIB->Bytes(), bytes), 0);
    EXPECT_TRUE(second.doc.m_bBitmapMode);
    EXPECT_TRUE(second.doc.IsModified());
    EXPECT_FALSE(first.doc.IsModified());
    EXPECT_EQ(second.doc.m_pictureSize.width, 300);
    EXPECT_EQ(second.doc.m_pictureSize.height, 200);
    EXPECT_EQ(second.doc.m_figure.m_nWidth, 300);
    EXPECT_EQ(second.doc.m_figure.m_nHeight, 200);
    // Only the size changes; colours, offsets, orders, centre and magnification stay.
    const FigureParams& after = second.doc.m_figure;
    EXPECT_EQ(after.m_nUn, 77);
    EXPECT_EQ(std::memcmp(after.m_colours, before.m_colours, sizeof before.m_colours), 0);
    EXPECT_EQ(after.m_dCentreX, 1.5);
    EXPECT_EQ(after.m_dMagnExp, before.m_dMagnExp);
    EXPECT_EQ(after.m_nCurrentOrder, before.m_nCurrentOrder);
    // The scroll range is the pasted picture's, and the next paint shows it as a bitmap.
    EXPECT_EQ(second.view->horizontalScrollBar()->maximum() + second.view->viewport()->width(),
              300);
    EXPECT_EQ(second.view->verticalScrollBar()->maximum() + second.view->viewport()->height(), 200);
    second.view->viewport()->grab();
    EXPECT_TRUE(second.view->m_bBitmapView);
}

TEST(Clipboard, CopyOffersTheBmpBytesAndAnImage) {
    Window window(301, 7, 400, 100);  // rows padded to a multiple of 4 bytes
    ASSERT_TRUE(window.view->Commands().Execute(ID_EDIT_COPY));
    const QMimeData* data = Clipboard().mimeData();
    ASSERT_NE(data, nullptr);

    const QByteArray bmp = data->data("image/bmp");
    const std::vector<std::uint8_t> block = window.Picture();
    const int rowBytes = 904;
    ASSERT_EQ(bmp.size(), 14 + 40 + rowBytes * 7);
    EXPECT_TRUE(bmp.startsWith("BM"));
    EXPECT_EQ(U32At(bmp, 2), static_cast<std::uint32_t>(bmp.size()));
    EXPECT_EQ(U32At(bmp, 10), 54u);
    EXPECT_EQ(U32At(bmp, 14 + 20), static_cast<std::uint32_t>(rowBytes * 7));
    EXPECT_EQ(std::memcmp(bmp.constData() + 14 + 40, block.data() + 40, rowBytes * 7), 0);

    const QImage image = qvariant_cast<QImage>(data->imageData());
    ASSERT_EQ(image.size(), QSize(301, 7));
    for (QPoint p : {QPoint(0, 0), QPoint(300, 0), QPoint(150, 3), QPoint(300, 6)}) {
        EXPECT_EQ(image.pixel(p), PixelOf(*window.doc.m_hDIB, p.x(), p.y()));
    }
    // Qt's own BMP reader agrees with the bytes.
    EXPECT_EQ(QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32),
              image.convertToFormat(QImage::Format_RGB32));
}

TEST(Clipboard, PasteTakesImagesAndBmpsFromOtherPrograms) {
    Window window(50, 40, 100, 100);
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgb(10, 20, 30));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(2, 1, qRgb(0, 0, 255));
    Clipboard().setImage(image);
    ASSERT_TRUE(window.view->Commands().Execute(ID_EDIT_PASTE));
    const DibImage& pasted = *window.doc.m_hDIB;
    ASSERT_TRUE(DibIsPicture24(pasted));
    EXPECT_EQ(pasted.Size(), 40u + 12 * 2);
    EXPECT_EQ(PixelOf(pasted, 0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(PixelOf(pasted, 2, 1), qRgb(0, 0, 255));
    EXPECT_EQ(PixelOf(pasted, 1, 1), qRgb(10, 20, 30));

    // A BMP of 8 bits per pixel from elsewhere is converted to 24 bits.
    QImage indexed(5, 4, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(200, 100, 0)});
    indexed.fill(1);
    indexed.setPixel(4, 3, 0);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(indexed.save(&buffer, "BMP"));
    auto mime = std::make_unique<QMimeData>();
    mime->setData("image/bmp", bmp);
    Clipboard().setMimeData(mime.release());
    ASSERT_TRUE(window.view->Commands().Execute(ID_EDIT_PASTE));
    EXPECT_EQ(window.doc.m_pictureSize.width, 5);
    EXPECT_EQ(PixelOf(*window.doc.m_hDIB, 0, 0), qRgb(200, 100, 0));
    EXPECT_EQ(PixelOf(*window.doc.m_hDIB, 4, 3), qRgb(0, 0, 0));
}

TEST(Clipboard, HostileOrEmptyClipboardsPasteNothing) {
    Window window(50, 40, 100, 100);
    const std::vector<std::uint8_t> before = window.Picture();
    Clipboard().clear();
    EXPECT_FALSE(window.Enabled(ID_EDIT_PASTE));
    Clipboard().setText("not a picture");
    EXPECT_FALSE(window.Enabled(ID_EDIT_PASTE));

    // A header of our layout that promises far more rows than follow, and bytes that are no BMP.
    QByteArray liar(14 + 40 + 12, '\0');
    liar[0] = 'B', liar[1] = 'M', liar[10] = 54, liar[14] = 40;
    liar[18] = 0x7f, liar[19] = 0x7f;                   // width 32639
    liar[22] = 0x7f, liar[23] = 0x7f, liar[24] = 0x7f;  // height 8355711
    liar[26] = 1, liar[28] = 24;
    for (const QByteArray& bytes : {liar, QByteArray("BM"), QByteArray(100, 'x')}) {
        EXPECT_EQ(PictureFromBmpBytes(bytes), nullptr);
        auto mime = std::make_unique<QMimeData>();
        mime->setData("image/bmp", bytes);
        Clipboard().setMimeData(mime.release());
        EXPECT_TRUE(window.Enabled(ID_EDIT_PASTE));
        window.view->Commands().Execute(ID_EDIT_PASTE);
    }
    EXPECT_EQ(window.Picture(), before);
    EXPECT_FALSE(window.doc.IsModified());
    EXPECT_FALSE(window.doc.m_bBitmapMode);

    // Without a picture there is nothing to copy.
    EXPECT_TRUE(window.Enabled(ID_EDIT_COPY));
    window.doc.ReplacePicture(nullptr);
    EXPECT_FALSE(window.Enabled(ID_EDIT_COPY));
}

TEST(Clipboard, SceneTextGoesOnTheClipboardAsPlainText) {
    Window window(200, 150, 250, 200);
    Clipboard().setText("before");
    window.prompts.answers = {IDCANCEL};
    ASSERT_TRUE(window.view->Commands().Execute(ID_MAKE_POV_DATA));
    EXPECT_EQ(Clipboard().text(), "before");

    window.prompts.answers = {IDNO, IDNO};
    window.view->Commands().Execute(ID_MAKE_POV_DATA);
    std::string expected;
    ASSERT_TRUE(window.doc.MakePovData(expected, kPovTextCapacity));
    ASSERT_TRUE(Clipboard().mimeData()->hasText());
    EXPECT_EQ(Clipboard().text().toStdString(), expected);
    EXPECT_NE(expected.find("\r\n// Pentagon Textures declared\r\n"), std::string::npos);
    EXPECT_NE(expected.find("Pentagon( 0, "), std::string::npos);

    window.prompts.answers = {IDYES};
    window.view->Commands().Execute(ID_MAKE_POV_DATA);
    EXPECT_TRUE(Clipboard().text().startsWith("#version 3.1;\r\n#include \"colors.inc\"\r\n"));
}
