#include "app/color_help_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <memory>

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

}  // namespace

QImage RenderColorHelpPicture() {
    auto figure = std::make_unique<FigureEngine>();
    return RenderColourPageImage(*figure,
                                 QRect(0, 0, kColorHelpPictureWidth, kColorHelpPictureHeight));
}

CColorHelpDialog::CColorHelpDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Help on Colors"));
    DialogUnits units(this);

    m_picture = new QLabel(this);
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
        auto* text = new QLabel(QString::fromLatin1(kColorHelpTexts[i]), this);
        text->setGeometry(units.Rect(place[0], place[1], place[2], place[3]));
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        m_texts[i] = text;
    }

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("1"));
    m_ok->setGeometry(units.Rect(530, 242, 50, 14));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("2"));
    m_cancel->setGeometry(units.Rect(435, 265, 50, 14));
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(units.X(587), units.Y(290));
}

void ShowColorHelp(QWidget* parent) {
    CColorHelpDialog dialog(parent);
    dialog.exec();
}
