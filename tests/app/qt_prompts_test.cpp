#include "app/qt_prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/dialog_fit.h"
#include "document/dib_doc.h"
#include "figure/figure_engine.h"
#include "support/temp_dir.h"

namespace {

// Answers the next message box with the given button once it is shown.
void AnswerNextBox(QMessageBox::StandardButton button, QString* text = nullptr,
                   QMessageBox::Icon* icon = nullptr) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (text) *text = box->text();
        if (icon) *icon = box->icon();
        box->button(button)->click();
    });
}

}  // namespace

TEST(QtPrompts, FiltersBecomeDialogFilters) {
    EXPECT_EQ(DialogFilterOf(kOpenFilter).toStdString(),
              "Dorvanta files (*.dat);;Bitmap files (*.bmp);;Jpeg files (*.jpg);;Png files "
              "(*.png);;Svg files (*.svg);;All files(*.*)");
    EXPECT_EQ(DialogFilterOf("Pictures|*.bmp;*.jpg||").toStdString(), "Pictures (*.bmp *.jpg)");
    EXPECT_EQ(DialogFilterOf("").toStdString(), "");
    EXPECT_EQ(DialogFilterOf("Odd|").toStdString(), "Odd ()");
}

TEST(QtPrompts, MessageBoxesReturnTheButtonChosen) {
    QtPrompts prompts;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    AnswerNextBox(QMessageBox::Yes, &text, &icon);
    EXPECT_EQ(prompts.ShowMessage("Use this result?", MsgButtons::YesNoCancel, MsgIcon::Question),
              IDYES);
    EXPECT_EQ(text, "Use this result?");
    EXPECT_EQ(icon, QMessageBox::Question);
    AnswerNextBox(QMessageBox::No);
    EXPECT_EQ(prompts.ShowMessage("?", MsgButtons::YesNo, MsgIcon::Question), IDNO);
    AnswerNextBox(QMessageBox::Cancel, nullptr, &icon);
    EXPECT_EQ(prompts.ShowMessage("!", MsgButtons::OkCancel, MsgIcon::Exclamation), IDCANCEL);
    EXPECT_EQ(icon, QMessageBox::Warning);
    AnswerNextBox(QMessageBox::Ok, nullptr, &icon);
    EXPECT_EQ(prompts.ShowMessage("i", MsgButtons::Ok, MsgIcon::Information), IDOK);
    EXPECT_EQ(icon, QMessageBox::Information);
}

TEST(QtPrompts, WaitCursorNests) {
    QtPrompts prompts;
    {
        WaitCursor outer(prompts);
        WaitCursor inner(prompts);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtPrompts, SettingsDialogRunsOnTheWorkingCopy) {
    QtPrompts prompts;
    FigureEngine edit;
    std::string saved = "unchanged";
    QString shown;
    QTimer::singleShot(0, [&shown] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        shown = dialog->metaObject()->className();
        static_cast<QDialog*>(dialog)->reject();
    });
    EXPECT_EQ(prompts.RunSettingsDialog(edit, saved), IDCANCEL);
    EXPECT_EQ(shown, "CSettingsDialog");
    EXPECT_TRUE(saved.empty() || saved == "unchanged");
}

// Save and the numbered saves write to the current directory, so every file dialog starts there,
// not in the folder a dialog visited last.
TEST(QtPrompts, FileDialogsStartInTheCurrentDirectory) {
    TempDir visited;
    TempDir current;
    const QString saved = QDir::currentPath();
    const QString currentPath = QString::fromStdString(current.Path().string());
    // A save accepted in another folder makes that folder Qt's last visited one.
    QtPrompts prompts;
    QTimer::singleShot(0, [&visited] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(visited.File("elsewhere.bmp")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    std::string path = "elsewhere";
    ASSERT_TRUE(prompts.AskSavePath(kSaveAsFilter, ".jpg", path));
    EXPECT_EQ(path, visited.File("elsewhere.bmp"));

    QDir::setCurrent(currentPath);
    struct Shown {
        QString directory;
        QStringList selected;
    };
    auto cancelAndRecord = [](Shown& shown) {
        QTimer::singleShot(0, [&shown] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            shown = {QDir(dialog->directory()).canonicalPath(), dialog->selectedFiles()};
            dialog->reject();
        });
    };
    const QString expected = QDir(currentPath).canonicalPath();
    Shown open;
    cancelAndRecord(open);
    path = "Dorvanta";
    EXPECT_FALSE(prompts.AskOpenPath(kOpenFilter, ".dat", path));
    EXPECT_EQ(open.directory, expected);
    Shown save;
    cancelAndRecord(save);
    path = "Spiral";
    EXPECT_FALSE(prompts.AskSavePath(kSaveAsFilter, ".jpg", path));
    EXPECT_EQ(save.directory, expected);
    ASSERT_EQ(save.selected.size(), 1);
    EXPECT_EQ(QFileInfo(save.selected[0]).dir().canonicalPath(), expected);
    EXPECT_EQ(QFileInfo(save.selected[0]).completeBaseName(), "Spiral");
    QDir::setCurrent(saved);
}

TEST(QtPrompts, AMessageBoxShowsItsWholeTitleAndOpensCentredOnItsWindow) {
    QWidget owner;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    owner.setGeometry(area.left() + 60, area.top() + 40, 640, 480);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QtPrompts prompts([&owner] { return &owner; });
    for (const char* text : {"Cannot save DIB", "Unit format error"}) {
        int width = 0;
        int titleWidth = 0;
        QPoint offset;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            width = box->width();
            titleWidth = TitleBarWidthFor(box);
            offset = box->frameGeometry().center() - owner.frameGeometry().center();
            box->button(QMessageBox::Ok)->click();
        });
        prompts.ShowMessage(text, MsgButtons::Ok, MsgIcon::Information);
        EXPECT_GE(width, titleWidth) << text;
        EXPECT_LE(offset.manhattanLength(), 40) << text << ": " << offset.x() << "," << offset.y();
    }
}
