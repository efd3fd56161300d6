#include "app/color_help_dialog.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <memory>

#include "app/dialog_fit.h"
#include "app/help_texts.h"
#include "app/validated_dialog.h"
#include "figure/figure_engine.h"
#include "view/colour_page.h"

namespace {

// Places of the eight texts in dialog units, in the order of kColorHelpTexts.
constexpr std::array<std::array<int, 4>, 8> kTextPlaces = {{{9, 10, 331, 30},
                                                            {359, 10, 160, 30},
                                                            {9, 45, 85, 50},
                                                            {9, 100, 85, 88},
                                                            {9, 194, 85, 91},
                                                            {111, 231, 175, 25},
                                                            {330, 231, 140, 25},
                                                            {536, 155, 44, 50}}};

// The largest pixel size, up to the dialog's own, at which every text fits its frame.
QFont FontFittingTheTexts(QFont font, const DialogUnits& units) {
    const int largest = std::max(8, QFontInfo(font).pixelSize());
    for (int pixels = largest; pixels > 7; --pixels) {
        font.setPixelSize(pixels);
        QFontMetrics metrics(font);
        bool fits = true;
        for (std::size_t i = 0; i < kTextPlaces.size() && fits; ++i) {
            const auto& place = kTextPlaces[i];
            QRect room = units.Rect(0, 0, place[2], place[3]).adjusted(4, 3, -4, -3);
            QRect needed = metrics.boundingRect(room, Qt::TextWordWrap,
                                                QString::fromLatin1(kColorHelpTexts[i]));
            fits = room.contains(needed);
        }
        if (fits) break;
    }
    return font;
}

}  // namespace

QImage RenderColorHelpPicture() {
    auto figure = std::make_unique<FigureEngine>();
    return RenderColourPageImage(*figure,
                                 QRect(0, 0, kColorHelpPictureWidth, kColorHelpPictureHeight));
}

CColorHelpDialog::CColorHelpDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Help on Colors"));
    // Placed in the classic units the picture was made for; the font follows the frames.
    const DialogUnits units = DialogUnits::Classic();
    setFont(FontFittingTheTexts(font(), units));
    QWidget* page = DialogPage(this);

    m_picture = new QLabel(page);
    m_picture->setGeometry(units.Rect(99, 46, 427, 178));
    m_picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture->setAlignment(Qt::AlignCenter);
    QImage picture = RenderColorHelpPicture();
    QSize room = m_picture->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_picture->setPixmap(QPixmap::fromImage(picture));

    for (int i = 0; i < static_cast<int>(m_texts.size()); ++i) {
        const auto& place = kTextPlaces[i];
        auto* text = new QLabel(QString::fromLatin1(kColorHelpTexts[i]), page);
        text->setGeometry(units.Rect(place[0], place[1], place[2], place[3]));
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        m_texts[i] = text;
    }

    m_ok = new QPushButton(QStringLiteral("OK"), page);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setGeometry(units.Rect(530, 242, 50, 14));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), page);
    m_cancel->setObjectName(QStringLiteral("2"));
    m_cancel->setGeometry(units.Rect(435, 265, 50, 14));
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    page->setFixedSize(units.X(587), units.Y(290));
}

void ShowColorHelp(QWidget* parent) {
    CColorHelpDialog dialog(parent);
    dialog.exec();
}
