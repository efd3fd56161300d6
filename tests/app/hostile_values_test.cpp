// Values a parameter file or a dialog may carry to the ends of their ranges and beyond: orders
// outside 0..9, huge centres and exponents, transparencies of 1e300, offsets beyond 32 bits,
// pictures of 1 x 1 and the largest size accepted. Each either paints or is refused with a clear
// message, and nothing later (keys, Draw Only One, status texts, menu check marks, the settings
// dialog, the colour page, saving and loading again) indexes or converts out of range.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

#include "app/draw_order_dialog.h"
#include "app/settings_dialog.h"
#include "document/dat_file.h"
#include "document/dib_doc.h"
#include "picture/jpeg_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/status_texts.h"

namespace {

constexpr int ID_X = 107, ID_Y = 108, ID_UNITS = 112, ID_GOLD_SECT = 113, ID_MAGNIFICATION = 119;
constexpr int ID_FREE_SIZE = 109, ID_GOLDEN_FROM_UNITS = 176;
constexpr int kLargestWidthOfOneRow = 715827869;  // 40 + its row of 2147483608 bytes = 2 GiB

// The default parameter file with some of its texts replaced.
std::string DatText(const std::vector<std::pair<std::string, std::string>>& replacements) {
    auto figure = std::make_unique<FigureEngine>();
    std::string text = DatFileText(*figure);
    for (const auto& [from, to] : replacements) {
        for (std::size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }
    return text;
}

const std::string kCentreLine = "Centre View: x = 0.00000  y = 0.00000  Exp Magn = -7.00000";
const std::string kOffsetLine = "Offset Unit 1145  Offset G Sec 1853";

class HostileValuesTest : public ::testing::Test {
  protected:
    // Reads a parameter file with the given text into a small picture and shows it in a view.
    // (The document opens a parameter file as LoadDatFile and PreparePicture; the picture is
    // made small at once, as far-out paintings are costly.)
    void Open(const std::string& text) {
        const std::string path = dir.File("hostile.dat");
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_EQ(LoadDatFile(doc.m_figure, path, prompts), DAT_OK);
        Shrink();
        view = std::make_unique<CDibView>(doc);
        view->resize(300, 260);
        view->show();
        view->OnInitialUpdate();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->viewport()->grab();
    }

    void Shrink(int width = 160, int height = 120) {
        doc.m_figure.m_nWidth = width;
        doc.m_figure.m_nHeight = height;
        ASSERT_NE(doc.PreparePicture(false), 0);
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, modifiers);
    }

    std::optional<bool> CheckMark(int id) const {
        CmdUI ui;
        ui.id = id;
        EXPECT_TRUE(view->Commands().Update(ui)) << id;
        return ui.checked;
    }

    // The settings dialog on g_figureEdit as Enter opens it; fill() types into it before OK.
    void ScriptSettingsDialog(std::function<void(CSettingsDialog&)> fill) {
        prompts.settingsDialog = [this, fill](FigureEngine& edit, std::string&) {
            CSettingsDialog dialog(edit, prompts);
            dialog.show();
            if (fill) fill(dialog);
            qobject_cast<QAbstractButton*>(dialog.Control(IDOK))->click();
            const int result = dialog.isVisible() ? IDCANCEL : dialog.result();
            shownOrderRadio = -1;
            for (int order = 0; order < kOrderCount; ++order)
                if (qobject_cast<QAbstractButton*>(dialog.Control(kOrderRadioIds[order]))
                        ->isChecked())
                    shownOrderRadio = order;
            return result;
        };
    }

    static void Type(CSettingsDialog& dialog, int id, const QString& text) {
        qobject_cast<QLineEdit*>(dialog.Control(id))->setText(text);
    }

    bool Shown(const std::string& text) const {
        for (const std::string& shown : prompts.Texts())
            if (shown == text) return true;
        return false;
    }

    static constexpr std::array<int, kOrderCount> kOrderRadioIds = {110, 111, 120, 121, 124,
                                                                    132, 135, 136, 137, 138};
    TempDir dir;
    ScriptedPrompts prompts;
    CDibDoc doc{prompts};
    std::unique_ptr<CDibView> view;
    int shownOrderRadio = -2;
};

// ---- Orders ------------------------------------------------------------------------------------

TEST_F(HostileValuesTest, OrdersBeyondTheTenAreHeldAtTheirEnds) {
    for (const auto& [read, held] : {std::pair{"99", 9}, {"-5", 0}, {"99999999999", 9}}) {
        SCOPED_TRACE(read);
        Open(DatText({{"\r\nOrder 0\r\n", std::string("\r\nOrder ") + read + "\r\n"}}));
        EXPECT_EQ(doc.m_figure.m_nCurrentOrder, held);
        EXPECT_TRUE(prompts.messages.empty());

        view->OnDrawOnlyOne();  // renders the working order alone
        EXPECT_EQ(doc.m_acceptedTransform.currentOrder, held);
        view->UpdateStatusTexts();
        EXPECT_TRUE(std::string(g_szPositionText).ends_with("Order " + std::to_string(held)));
        EXPECT_EQ(CheckMark(ID_DRAW_ONLY_ONE), true);
        EXPECT_EQ(CheckMark(ID_ORDER_0), true);  // order 0 is drawn
        EXPECT_EQ(CheckMark(ID_ORDER_9), false);
        EXPECT_EQ(CheckMark(ID_COLOR_REFERENCE_LINE), false);

        // Ctrl+Page Up/Down in arrow mode 1 stop at the ends of the ten orders.
        for (int press = 0; press < 12; ++press) Key(Qt::Key_PageUp, Qt::ControlModifier);
        EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 9);
        for (int press = 0; press < 12; ++press) Key(Qt::Key_PageDown, Qt::ControlModifier);
        EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 0);

        ScriptSettingsDialog({});
        Key(Qt::Key_Return);
        EXPECT_EQ(shownOrderRadio, 0);
        view.reset();
    }
}

// A working order set past the table in memory (no file can do this) still never indexes it.
TEST_F(HostileValuesTest, AnOrderOutsideTheTableInMemoryPaintsTheBackgroundOnly) {
    Open(DatText({}));
    for (const int order : {99, -5, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(order);
        doc.m_figure.m_nCurrentOrder = order;
        EXPECT_EQ(CheckMark(ID_COLOR_REFERENCE_LINE), false);
        view->OnDrawOnlyOne();
        view->OnDrawOnlyOne();
        Key(Qt::Key_PageUp, Qt::ControlModifier);
        Key(Qt::Key_Right);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        view->UpdateStatusTexts();
        EXPECT_TRUE(std::string(g_szPositionText).ends_with("Order " + std::to_string(order)));
        ScriptSettingsDialog({});
        Key(Qt::Key_Return);
        EXPECT_EQ(shownOrderRadio, 0);
        EXPECT_EQ(doc.m_figure.m_nCurrentOrder, 0);  // the dialog showed and stored order 0
    }
}

// ---- Centre and exponent -----------------------------------------------------------------------

// A number in the file is a run of digits, signs and points (an "e" ends it), at most 99 bytes.
const std::string kNines(99, '9');

TEST_F(HostileValuesTest, HugeExponentsAreHeldAtAThousandAndStillPaint) {
    for (const auto& [exponent, held] :
         {std::pair{kNines, 1000.0}, {"-" + kNines, -1000.0}, {std::string("-2000.5"), -1000.0}}) {
        SCOPED_TRACE(exponent);
        // Far out every order searches the whole series: order 0 alone keeps the test quick.
        Open(DatText({{kCentreLine, "Centre View: x = 0  y = 0  Exp Magn = " + exponent},
                      {"DrawOrder 1", "DrawOrder 0"}}));
        EXPECT_EQ(doc.m_figure.m_dMagnExp, held);
        doc.m_figure.m_orders[0].drawOrder = 1;
        EXPECT_TRUE(doc.m_bReady);
        // Arrow mode 0 has no limit: the pending exponent goes past the range of the scale and
        // paints; the settings dialog then refuses it with its message instead of painting.
        view->OnArrowChangeCentre();
        for (int press = 0; press < 12; ++press)
            Key(held > 0 ? Qt::Key_PageDown : Qt::Key_PageUp, Qt::ControlModifier);
        Key(Qt::Key_Left, Qt::ControlModifier);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(50, 40));
        EXPECT_EQ(doc.m_acceptedTransform.magnExp, held + (held > 0 ? 30 : -30));
        ScriptSettingsDialog({});
        prompts.Clear();
        Key(Qt::Key_Return);
        EXPECT_TRUE(Shown("Please enter a number from -1000 to 1000 in \"Magnification (exp)\"."));
        view->UpdateStatusTexts();
        EXPECT_NE(std::string(g_szPositionText).find("Order 0"), std::string::npos);
        view.reset();
    }
}

TEST_F(HostileValuesTest, FarCentresPaintShowAndSurviveSaving) {
    Open(DatText({{kCentreLine, "Centre View: x = " + kNines + "  y = -1" + std::string(97, '0') +
                                    "  Exp Magn = -7"}}));
    EXPECT_EQ(doc.m_figure.m_dCentreX, 1e99);
    EXPECT_EQ(doc.m_figure.m_dCentreY, -1e97);
    view->UpdateStatusTexts();
    EXPECT_STREQ(g_szPositionText, " X: 1e+99  Y: -1e+97   Magn (exp): -7.0  Order 0");
    view->OnArrowChangeCentre();
    Key(Qt::Key_Up, Qt::ControlModifier);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(10, 10));

    // A file written with centres too long for the reader's numbers (or not finite) holds the
    // farthest centre that can be read, and everything after it still reads as written.
    const double centres[][3] = {{-1.2345678901234567e250, 98765432109876543210.0, -1e90},
                                 {std::numeric_limits<double>::infinity(), 1e90, 1e90},
                                 {std::nan(""), -0.5, 0.0}};
    for (const auto& [x, y, xRead] : centres) {
        SCOPED_TRACE(x);
        doc.m_figure.m_dCentreX = x;
        doc.m_figure.m_dCentreY = y;
        const std::string path = dir.File("far.dat");
        ASSERT_EQ(SaveDatFile(doc.m_figure, path), DAT_OK);
        auto read = std::make_unique<FigureEngine>();
        ASSERT_EQ(LoadDatFile(*read, path, prompts), DAT_OK);
        EXPECT_EQ(read->m_dCentreX, xRead);
        EXPECT_EQ(read->m_dCentreY, y);
        EXPECT_EQ(read->m_dMagnExp, -7.0);
        EXPECT_EQ(read->m_orders[3].drawOrder, 1);
        EXPECT_EQ(read->m_orders[4].drawOrder, 0);
    }
    EXPECT_NE(DatFileText(doc.m_figure).find("y = -0.50000  Exp"), std::string::npos);
}

// ---- Transparencies ----------------------------------------------------------------------------

TEST_F(HostileValuesTest, TransparenciesBeyondOneAreHeldAtTheEnds) {
    std::string text = DatText({});
    const std::string from = "Transparency 0.500000";
    text.replace(text.find(from), from.size(), "Transparency 1e300");
    text.replace(text.find(from), from.size(), "Transparency -1e300");
    Open(text);
    EXPECT_EQ(doc.m_figure.m_orders[0].transparency, 1.0);
    EXPECT_EQ(doc.m_figure.m_orders[1].transparency, 0.0);

    CDrawOrderDialog dialog(prompts);
    FillDrawOrderDialog(dialog, doc.m_figure);
    dialog.show();
    EXPECT_EQ(dialog.TransparencyEdit(0)->text(), "1");
    EXPECT_EQ(dialog.TransparencyEdit(1)->text(), "0");

    // The colour page paints and turns them within 0..1.
    view->OnColorPage();
    ASSERT_TRUE(view->m_bColorPage);
    EXPECT_FALSE(RenderColourPageImage(doc.m_figure, QRect(0, 0, 910, 596)).isNull());
    doc.m_figure.m_orders[2].transparency = 1e300;  // no file can, but nothing may break
    EXPECT_FALSE(RenderColourPageImage(doc.m_figure, QRect(0, 0, 910, 596)).isNull());
    doc.m_figure.m_orders[1].transparency = 1e300;
    const QPoint lowerBar = QPoint(100 + 81 + 40, 20 + 60) - view->ScrollPosition();
    QWheelEvent wheel(lowerBar, view->viewport()->mapToGlobal(lowerBar), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_EQ(doc.m_figure.m_orders[1].transparency, 1.0);  // 1e300 - 0.1, then held at 1
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_DOUBLE_EQ(doc.m_figure.m_orders[1].transparency, 0.9);
    Key(Qt::Key_Return);
    EXPECT_FALSE(view->m_bColorPage);
}

// ---- Offsets -----------------------------------------------------------------------------------

TEST_F(HostileValuesTest, OffsetsBeyondThirtyTwoBitsAreHeldAtTheirEnds) {
    Open(DatText({{kOffsetLine, "Offset Unit 99999999999  Offset G Sec -99999999999"}}));
    EXPECT_EQ(doc.m_figure.m_nUn, INT_MAX);
    EXPECT_EQ(doc.m_figure.m_nGs, INT_MIN);
    view->UpdateStatusTexts();
    EXPECT_STREQ(g_szOffsetText,
                 "Un: 2147483647     Gs: -2147483648        (error= 5622185179.13)");
    Key(Qt::Key_Right, Qt::ControlModifier);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(doc.m_figure.m_nUn, INT_MAX);
    EXPECT_EQ(doc.m_figure.m_nGs, INT_MIN);
    Key(Qt::Key_PageUp, Qt::ShiftModifier);  // Un from Gs
    EXPECT_EQ(doc.m_figure.m_nUn, -1327217885);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);  // Gs from Un
    EXPECT_EQ(doc.m_figure.m_nGs, INT_MIN);
    doc.m_figure.m_nUn = INT_MAX;
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(doc.m_figure.m_nGs, INT_MAX);

    // The settings dialog shows them and refuses a partner that cannot be held.
    ScriptSettingsDialog([this](CSettingsDialog& dialog) {
        EXPECT_EQ(qobject_cast<QLineEdit*>(dialog.Control(ID_UNITS))->text(), "2147483647");
        qobject_cast<QAbstractButton*>(dialog.Control(ID_GOLDEN_FROM_UNITS))->click();
        EXPECT_TRUE(
            Shown("\"Units\" is too large for a \"Gold Sect\" value to be computed from it."));
    });
    Key(Qt::Key_Return);
    prompts.answers = {IDOK};
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(30, 30));  // reference point
    EXPECT_TRUE(doc.m_bReady);
}

// ---- Extremes through the settings dialog ------------------------------------------------------

TEST_F(HostileValuesTest, DialogExtremesPaintOrAreRefusedWithAMessage) {
    Open(DatText({}));
    struct Case {
        QString x, y, units, gs, exponent;
        bool accepted;
        std::string message;
    };
    const Case cases[] = {
        {"1", "1", "-2147483648", "2147483647", "1000", true, ""},
        {"1", "1", "0", "0", "-1000", true, ""},
        {"2", "3", "2147483647", "-2147483648", "-7", true, ""},
        {"1", "1", "2147483648", "0", "-7", false,
         "Please enter a whole number from -2147483648 to 2147483647 in \"Units\"."},
        {"1", "1", "0", "-2147483649", "-7", false,
         "Please enter a whole number from -2147483648 to 2147483647 in \"Gold Sect\"."},
        {"1", "1", "0", "0", "1000.001", false,
         "Please enter a number from -1000 to 1000 in \"Magnification (exp)\"."},
        {"0", "1", "0", "0", "-7", false,
         "Please enter a whole number from 1 to 2147483647 in \"X\"."},
        {QString::number(kLargestWidthOfOneRow + 1), "1", "0", "0", "-7", false,
         "A picture of 715827870 x 1 pixels needs more than 2 GiB and cannot be painted. Please "
         "enter a smaller size in \"X\" and \"Y\"."},
        {"65536", "65536", "0", "0", "-7", false,
         "A picture of 65536 x 65536 pixels needs more than 2 GiB and cannot be painted. Please "
         "enter a smaller size in \"X\" and \"Y\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x.toStdString() + " x " + c.y.toStdString() + " " +
                     c.exponent.toStdString());
        ScriptSettingsDialog([&c](CSettingsDialog& dialog) {
            qobject_cast<QAbstractButton*>(dialog.Control(ID_FREE_SIZE))->click();
            Type(dialog, ID_X, c.x);
            Type(dialog, ID_Y, c.y);
            Type(dialog, ID_UNITS, c.units);
            Type(dialog, ID_GOLD_SECT, c.gs);
            Type(dialog, ID_MAGNIFICATION, c.exponent);
        });
        prompts.Clear();
        const int width = doc.m_pictureSize.width;
        Key(Qt::Key_Return);
        if (c.accepted) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(doc.m_pictureSize.width, c.x.toInt());
            EXPECT_EQ(doc.m_figure.m_nUn, c.units.toInt());
            EXPECT_EQ(doc.m_figure.m_dMagnExp, c.exponent.toDouble());
        } else {
            EXPECT_EQ(prompts.Texts(), std::vector<std::string>{c.message});
            EXPECT_EQ(doc.m_pictureSize.width, width);  // nothing changed
        }
        EXPECT_TRUE(doc.m_bReady);
        EXPECT_TRUE(doc.m_hDIB);
    }
}

TEST_F(HostileValuesTest, AOnePixelPictureShowsSavesAndReadsBack) {
    Open(DatText({}));
    Shrink(1, 1);
    Key(Qt::Key_Right);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(0, 0));
    view->OnColorPage();
    Key(Qt::Key_Escape);
    COLORREF colour = 0;
    ASSERT_TRUE(doc.PixelColourAt(0, 0, colour));
    for (const char* name : {"one.bmp", "one.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(doc.OnSaveDocument(dir.File(name)));
        ScriptedPrompts quiet;
        CDibDoc reread(quiet);
        ASSERT_TRUE(reread.OnOpenDocument(dir.File(name)));
        EXPECT_EQ(reread.m_pictureSize.width, 1);
        EXPECT_EQ(reread.m_pictureSize.height, 1);
        COLORREF back = 0;
        ASSERT_TRUE(reread.PixelColourAt(0, 0, back));
        if (std::string(name).ends_with(".bmp")) {
            EXPECT_EQ(back, colour);
        }
    }
    // In the bitmap view a click on the single pixel reports it; one beside it reports nothing.
    view->OnViewBitmap();
    view->viewport()->grab();
    prompts.Clear();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 0),
                      view->viewport()->mapToGlobal(QPointF(0, 0)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);  // QTest would take (0, 0) for the centre
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(1, 0));
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// The largest picture the dialog accepts: one row of 715827869 pixels in a 2 GiB block.
TEST_F(HostileValuesTest, TheDialogTakesTheLargestPicture) {
    EXPECT_TRUE(PictureSizeIsPaintable(kLargestWidthOfOneRow, 1));
    EXPECT_FALSE(PictureSizeIsPaintable(kLargestWidthOfOneRow + 1, 1));
    auto edit = std::make_unique<FigureEngine>();
    CSettingsDialog dialog(*edit, prompts);
    dialog.show();
    qobject_cast<QAbstractButton*>(dialog.Control(ID_FREE_SIZE))->click();
    Type(dialog, ID_X, QString::number(kLargestWidthOfOneRow));
    Type(dialog, ID_Y, "1");
    qobject_cast<QAbstractButton*>(dialog.Control(IDOK))->click();
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(edit->m_nWidth, kLargestWidthOfOneRow);
    EXPECT_TRUE(prompts.messages.empty());
}

// Painting it takes minutes under the sanitizers, so only the long session (make soak) does.
TEST_F(HostileValuesTest, TheLargestAcceptedPicturePaints) {
    if (!std::getenv("DORVANTA_SOAK_STEPS")) GTEST_SKIP() << "runs in the long session";
    Open(DatText({}));
    ScriptSettingsDialog([](CSettingsDialog& dialog) {
        qobject_cast<QAbstractButton*>(dialog.Control(ID_FREE_SIZE))->click();
        Type(dialog, ID_X, QString::number(kLargestWidthOfOneRow));
        Type(dialog, ID_Y, "1");
    });
    prompts.Clear();
    Key(Qt::Key_Return);
    // Without 2 GiB of memory to spare the document says so and keeps going.
    if (doc.m_pictureSize.width == kLargestWidthOfOneRow) {
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_TRUE(doc.m_bReady);
    } else {
        EXPECT_EQ(prompts.Texts(), std::vector<std::string>{kTooLargePictureText});
    }
    Shrink();  // gives the memory back
    EXPECT_TRUE(doc.m_bReady);
}

}  // namespace
