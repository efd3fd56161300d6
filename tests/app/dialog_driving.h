// Drives the program's real dialogs in tests: clicks, typing and answers to modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>

inline void ClickButton(QAbstractButton* button) {
    bool indicator = qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button);
    QPoint where = indicator ? QPoint(8, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

inline QPushButton* StandardButton(QDialog& dialog, QDialogButtonBox::StandardButton which) {
    return dialog.findChild<QDialogButtonBox*>()->button(which);
}
inline void ClickOk(QDialog& dialog) {
    ClickButton(StandardButton(dialog, QDialogButtonBox::Ok));
}
inline void ClickCancel(QDialog& dialog) {
    ClickButton(StandardButton(dialog, QDialogButtonBox::Cancel));
}

inline void Retype(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Runs handler on the next modal dialog of type T as soon as its event loop runs.
template <typename T>
void AnswerNextModal(std::function<void(T&)> handler) {
    QTimer::singleShot(0, [handler] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
                handler(*dialog);
                return;
            }
        }
        ADD_FAILURE() << "no modal dialog to answer";
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
}
