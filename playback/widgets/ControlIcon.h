#pragma once

#include <QIconEngine>

// The control bar's symbols, drawn as shapes in the palette's text colour at
// whatever size and scale they are shown. Nothing is looked up in an icon
// theme or decoded from an image file, which would cost every start.
class ControlIcon : public QIconEngine
{
public:
    enum class Shape { Play, Pause, Stop, Volume, Muted, History, Record, Recording };

    static QIcon icon(Shape shape);

    explicit ControlIcon(Shape shape);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QIconEngine *clone() const override;
    QString key() const override;

private:
    Shape m_shape;
};
