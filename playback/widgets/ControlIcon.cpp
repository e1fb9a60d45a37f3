#include "ControlIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace {

// A speaker in the left half of a 16 × 16 square.
QPainterPath speaker()
{
    QPainterPath path;
    path.moveTo(2, 6);
    path.lineTo(4.5, 6);
    path.lineTo(8, 3);
    path.lineTo(8, 13);
    path.lineTo(4.5, 10);
    path.lineTo(2, 10);
    path.closeSubpath();
    return path;
}

} // namespace

QIcon ControlIcon::icon(Shape shape)
{
    return QIcon(new ControlIcon(shape));
}

ControlIcon::ControlIcon(Shape shape)
    : m_shape(shape)
{
}

void ControlIcon::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor colour = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                        QPalette::ButtonText);
    const qreal side = qMin(rect.width(), rect.height());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
    painter->scale(side / 16.0, side / 16.0);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    switch (m_shape) {
    case Shape::Play: {
        const QPointF triangle[] = { { 4.5, 3 }, { 13, 8 }, { 4.5, 13 } };
        painter->drawPolygon(triangle, 3);
        break;
    }
    case Shape::Pause:
        painter->drawRect(QRectF(4, 3, 3, 10));
        painter->drawRect(QRectF(9, 3, 3, 10));
        break;
    case Shape::Stop:
        painter->drawRect(QRectF(4, 4, 8, 8));
        break;
    case Shape::Volume:
        painter->drawPath(speaker());
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(colour, 1.3, Qt::SolidLine, Qt::RoundCap));
        painter->drawArc(QRectF(6, 5, 5, 6), -50 * 16, 100 * 16);
        painter->drawArc(QRectF(5, 2.5, 9, 11), -50 * 16, 100 * 16);
        break;
    case Shape::Muted:
        painter->drawPath(speaker());
        painter->setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap));
        painter->drawLine(QPointF(10, 6), QPointF(14, 10));
        painter->drawLine(QPointF(14, 6), QPointF(10, 10));
        break;
    case Shape::History:
        // A list: three bullets and three lines.
        for (const qreal y : { 4.0, 8.0, 12.0 }) {
            painter->drawRect(QRectF(2, y - 1, 2, 2));
            painter->drawRect(QRectF(6, y - 1, 8, 2));
        }
        break;
    case Shape::Record:
        // A ring: press to record.
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(colour, 1.5));
        painter->drawEllipse(QPointF(8, 8), 4.5, 4.5);
        break;
    case Shape::Recording:
        // The red dot every recorder shows while it records.
        painter->setBrush(mode == QIcon::Disabled ? colour : QColor(0xd0, 0x20, 0x20));
        painter->drawEllipse(QPointF(8, 8), 5, 5);
        break;
    }
    painter->restore();
}

QPixmap ControlIcon::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap ControlIcon::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale)
{
    // Qt asks for the size in device pixels: drawn at the screen's pixel
    // density, the shapes stay sharp there.
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QIconEngine *ControlIcon::clone() const
{
    return new ControlIcon(m_shape);
}

QString ControlIcon::key() const
{
    return QStringLiteral("lumora-control");
}
