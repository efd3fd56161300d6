#include "app/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <cmath>

#include "view/command_ids.h"

namespace {

const QColor kInk(0, 0, 0);
const QColor kPaper(255, 255, 255);
const QColor kShade(128, 128, 128);
const QColor kFolder(255, 255, 0);
const QColor kNavy(0, 0, 128);
const QColor kTeal(0, 128, 128);

void DrawPage(QPainter& p, int left, int top, int width, int height) {
    const int fold = 3;
    QPolygon outline;
    outline << QPoint(left, top) << QPoint(left + width - fold, top)
            << QPoint(left + width, top + fold) << QPoint(left + width, top + height)
            << QPoint(left, top + height);
    p.setPen(kInk);
    p.setBrush(kPaper);
    p.drawPolygon(outline);
    p.drawLine(left + width - fold, top, left + width - fold, top + fold);
    p.drawLine(left + width - fold, top + fold, left + width, top + fold);
}

void DrawNew(QPainter& p) {
    DrawPage(p, 3, 1, 10, 13);
}

void DrawOpen(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(kFolder);
    p.drawPolygon(QPolygon(
        {QPoint(1, 4), QPoint(5, 4), QPoint(6, 5), QPoint(12, 5), QPoint(12, 13), QPoint(1, 13)}));
    p.setBrush(QColor(128, 128, 0));
    p.drawPolygon(QPolygon({QPoint(3, 8), QPoint(15, 8), QPoint(12, 13), QPoint(1, 13)}));
    p.setPen(kInk);
    p.drawLine(10, 1, 13, 1);
    p.drawLine(14, 2, 14, 4);
    p.drawPoint(13, 4);
}

void DrawDisk(QPainter& p, int left, int top) {
    p.setPen(kInk);
    p.setBrush(kNavy);
    p.drawRect(left, top, 12, 12);
    p.setBrush(kPaper);
    p.drawRect(left + 2, top, 8, 5);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(left + 3, top + 8, 6, 4);
    p.fillRect(left + 4, top + 9, 2, 2, kNavy);
}

void DrawSave(QPainter& p) {
    DrawDisk(p, 1, 1);
}

void DrawCut(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kInk);
    p.drawLine(5, 1, 9, 8);
    p.drawLine(10, 1, 6, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kNavy, 1));
    p.drawEllipse(2, 8, 4, 5);
    p.drawEllipse(9, 8, 4, 5);
}

void DrawCopy(QPainter& p) {
    DrawPage(p, 1, 1, 8, 9);
    DrawPage(p, 6, 5, 8, 9);
}

void DrawPaste(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(QColor(128, 64, 0));
    p.drawRect(1, 2, 10, 12);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(4, 1, 4, 2);
    DrawPage(p, 7, 5, 8, 9);
}

void DrawPrint(QPainter& p) {
    p.setPen(kInk);
    DrawPage(p, 4, 1, 8, 6);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(1, 7, 14, 5);
    p.fillRect(12, 9, 2, 1, QColor(0, 160, 0));
    p.setBrush(kPaper);
    p.drawRect(3, 12, 10, 2);
}

void DrawAbout(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(kInk);
    p.setBrush(QColor(255, 255, 192));
    p.drawEllipse(QRectF(1.5, 0.5, 12, 12));
    QFont font = p.font();
    font.setPixelSize(10);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kNavy);
    p.drawText(QRectF(1.5, 0.5, 12, 12), Qt::AlignCenter, "?");
    p.setPen(kInk);
    p.drawLine(QPointF(4, 12), QPointF(2, 14.5));
}

// A golden pentagram: the figure's own sign opens its settings.
void DrawSettings(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(8, 7.8);
    const double radius = 6.8;
    QPolygonF pentagon;
    QPolygonF star;
    for (int k = 0; k < 5; ++k) {
        const double angle = -M_PI / 2 + k * 2 * M_PI / 5;
        pentagon << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    for (int k = 0; k < 5; ++k) star << pentagon[(2 * k) % 5];
    p.setPen(QPen(kNavy, 1));
    p.setBrush(QColor(255, 215, 0));
    p.drawPolygon(pentagon);
    p.setPen(QPen(QColor(192, 0, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(star);
}

// Coloured cells of the colour page.
void DrawColourPage(QPainter& p) {
    const QColor cells[4] = {QColor(255, 0, 0), QColor(0, 192, 0), QColor(0, 0, 255),
                             QColor(255, 192, 0)};
    for (int i = 0; i < 4; ++i) {
        const int x = 1 + (i % 2) * 7;
        const int y = 1 + (i / 2) * 7;
        p.setPen(kShade);
        p.setBrush(cells[i]);
        p.drawRect(x, y, 6, 5);
    }
}

void DrawSaveNext(QPainter& p) {
    DrawDisk(p, 0, 2);
    p.setPen(QPen(kTeal, 2));
    p.drawLine(13, 1, 13, 7);
    p.drawLine(10, 4, 16, 4);
}

}  // namespace

QPixmap ToolbarImage(int id) {
    QPixmap image(kButtonImageWidth, kButtonImageHeight);
    image.fill(Qt::transparent);
    QPainter p(&image);
    switch (id) {
        case ID_FILE_NEW:
            DrawNew(p);
            break;
        case ID_FILE_OPEN:
            DrawOpen(p);
            break;
        case ID_FILE_SAVE:
            DrawSave(p);
            break;
        case ID_EDIT_CUT:
            DrawCut(p);
            break;
        case ID_EDIT_COPY:
            DrawCopy(p);
            break;
        case ID_EDIT_PASTE:
            DrawPaste(p);
            break;
        case ID_FILE_PRINT:
            DrawPrint(p);
            break;
        case ID_APP_ABOUT:
            DrawAbout(p);
            break;
        case ID_DORVANTA_DATA:
            DrawSettings(p);
            break;
        case ID_COLOR_PAGE:
            DrawColourPage(p);
            break;
        case ID_SAVE_NEXT_FILE:
            DrawSaveNext(p);
            break;
        default:
            break;
    }
    return image;
}

QIcon ToolbarIcon(int id) {
    return QIcon(ToolbarImage(id));
}
