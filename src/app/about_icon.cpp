#include "app/about_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Vertices of a regular pentagon with one vertex straight up.
QPolygonF PentagonVertices(QPointF centre, double radius) {
    QPolygonF vertices;
    for (int k = 0; k < 5; ++k) {
        double angle = -std::numbers::pi / 2 + k * 2 * std::numbers::pi / 5;
        vertices << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return vertices;
}

QPolygonF StarThrough(const QPolygonF& pentagon) {
    QPolygonF star;
    for (int k = 0; k < 5; ++k) star << pentagon[(2 * k) % 5];
    return star;
}

}  // namespace

QPixmap DrawProgramIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(24, 40, 88));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

    QPolygonF pentagon = PentagonVertices(QPointF(s / 2, s * 0.53), s * 0.42);
    painter.setBrush(QColor(250, 205, 60));
    painter.setPen(QPen(QColor(255, 236, 170), std::max(1.0, s / 24)));
    painter.drawPolygon(pentagon);
    painter.setBrush(QColor(210, 60, 70));
    painter.setPen(QPen(QColor(120, 20, 30), std::max(1.0, s / 32)));
    painter.drawPolygon(StarThrough(pentagon), Qt::WindingFill);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(DrawProgramIcon(size));
    return icon;
}
