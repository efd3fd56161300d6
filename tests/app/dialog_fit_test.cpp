// Dialogs on screens too small for them (high scaling): they keep their own size where the
// screen holds it, shrink to the available area and scroll otherwise, never cut their title,
// and open centred on their window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "app/about_dialog.h"
#include "app/color_help_dialog.h"
#include "app/dialog_fit.h"
#include "app/jpeg_quality_dialog.h"
#include "app/validated_dialog.h"
#include "support/scripted_prompts.h"

namespace {

QRect Available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

}  // namespace

TEST(FittedDialogSize, OwnSizeWhereItFitsTheAvailableAreaOtherwise) {
    const QSize screen(800, 560);
    const struct {
        const char* what;
        QSize page;
        int title;
        QSize wanted;
    } cases[] = {
        {"fits", {400, 300}, 200, {400, 300}},
        {"title wider than the page", {120, 80}, 300, {300, 80}},
        {"title wider than the screen", {120, 80}, 2000, {800, 80}},
        {"too wide: a horizontal scroll bar below", {1762, 300}, 100, {800, 316}},
        {"too high: a vertical scroll bar beside", {400, 900}, 100, {416, 560}},
        {"both", {1762, 940}, 100, {800, 560}},
        {"exactly the area", {800, 560}, 100, {800, 560}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FittedDialogSize(c.page, screen, c.title, 16), c.wanted) << c.what;
    }
}

// "Help on Colors" is wider than the offscreen screen: it shrinks to the screen, and its OK
// button is reached by scrolling.
TEST(DialogFit, ADialogLargerThanTheScreenShrinksToItAndScrolls) {
    CColorHelpDialog dialog;
    const DialogUnits units = DialogUnits::Classic();
    ASSERT_GT(units.X(587), Available().width());  // the premise of this test
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_LE(dialog.width(), Available().width());
    EXPECT_LE(dialog.height(), Available().height());
    EXPECT_TRUE(Available().contains(dialog.geometry()));
    auto* area = dialog.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    // The controls keep their places in the dialog's own size; the page scrolls.
    EXPECT_EQ(area->widget()->size(), QSize(units.X(587), units.Y(290)));
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    area->ensureWidgetVisible(dialog.OkButton());
    const QRect ok(dialog.OkButton()->mapTo(area->viewport(), QPoint(0, 0)),
                   dialog.OkButton()->size());
    EXPECT_TRUE(area->viewport()->rect().contains(ok));
}

// Where the screen holds it the dialog keeps its size, without scroll bars.
TEST(DialogFit, ADialogTheScreenHoldsKeepsItsOwnSize) {
    ScriptedPrompts ui;
    CAboutDialog dialog(ui);
    const DialogUnits units(&dialog);
    const QSize own(units.X(309), units.Y(210));
    ASSERT_TRUE(Available().size().expandedTo(own) == Available().size());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.size(), own);
    EXPECT_EQ(dialog.minimumSize(), own);
    EXPECT_EQ(dialog.maximumSize(), own);
    auto* area = dialog.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
}

TEST(DialogFit, ANarrowDialogIsWideEnoughForItsTitleAndCentredOnItsWindow) {
    ScriptedPrompts ui;
    QWidget owner;
    owner.setGeometry(Available().left() + 40, Available().top() + 30, 500, 400);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    CJpegQualityDialog dialog(ui, &owner);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_GE(dialog.width(), TitleBarWidthFor(&dialog));
    const QPoint offset = dialog.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 40) << offset.x() << "," << offset.y();
    // The field and its buttons still lie inside the dialog.
    const auto* field = dialog.findChild<QLineEdit*>("232");
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(dialog.rect().contains(QRect(field->mapTo(&dialog, QPoint(0, 0)), field->size())));
}
