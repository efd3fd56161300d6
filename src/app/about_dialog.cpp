#include "app/about_dialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/about_icon.h"
#include "app/dialog_fit.h"
#include "app/help_texts.h"
#include "app/validated_dialog.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"

QImage PaintAboutPicture(UserPrompts& ui) {
    auto figure = std::make_unique<FigureEngine>();  // too large for the stack
    figure->m_nWidth = kAboutPictureWidth;
    figure->m_nHeight = kAboutPictureHeight;
    const auto stride = static_cast<int>(DibRowStride(kAboutPictureWidth, 24));
    figure->m_nRowBytes = stride;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * kAboutPictureHeight);
    figure->PaintFigure(rows.data(), -1, ui);
    // The rows are stored bottom-up in blue-green-red order.
    QImage bottomUp(rows.data(), kAboutPictureWidth, kAboutPictureHeight, stride,
                    QImage::Format_BGR888);
    return bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB888);
}

QString DisplayedText(const std::string& crlfText) {
    QString text = QString::fromStdString(crlfText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

CAboutDialog::CAboutDialog(UserPrompts& ui, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString());
    DialogUnits units(this);
    QWidget* page = DialogPage(this);

    m_picture = new QLabel(page);
    m_picture->setGeometry(units.Rect(3, 4, 213, 123));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setPixmap(QPixmap::fromImage(PaintAboutPicture(ui)));

    m_icon = new QLabel(page);
    m_icon->setGeometry(units.Rect(235, 40, 21, 20));
    m_icon->setAlignment(Qt::AlignCenter);
    int iconSize = std::min(units.X(21), units.Y(20));
    m_icon->setPixmap(DrawProgramIcon(iconSize));

    auto* name = new QLabel(QStringLiteral("Dorvanta Version 4.0"), page);
    name->setGeometry(units.Rect(220, 8, 86, 24));
    name->setAlignment(Qt::AlignCenter);
    name->setWordWrap(true);

    m_credit = new QLabel(
        QStringLiteral("JPEG support is based in part on the work of the Independent JPEG Group."),
        page);
    m_credit->setGeometry(units.Rect(220, 64, 86, 42));
    m_credit->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_credit->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), page);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(units.Rect(225, 110, 49, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_helpEdit = new QPlainTextEdit(page);
    m_helpEdit->setObjectName(QStringLiteral("107"));
    m_helpEdit->setGeometry(units.Rect(3, 131, 302, 75));
    m_helpEdit->setReadOnly(true);
    m_helpEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    page->setFixedSize(units.X(309), units.Y(210));
    ok->setFocus();
}

void CAboutDialog::showEvent(QShowEvent* event) {
    m_helpEdit->setPlainText(DisplayedText(m_strHelpText));
    QDialog::showEvent(event);
}

void ShowAboutBox(QWidget* parent, UserPrompts& ui) {
    CAboutDialog dialog(ui, parent);
    dialog.m_strHelpText = BuildAboutHelpText();
    dialog.exec();
}
