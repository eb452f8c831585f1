#include "panel/arrow_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zelt {

namespace {

class ArrowIconEngine final : public QIconEngine {
public:
    explicit ArrowIconEngine(Arrow direction) : direction_(direction) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->fillRect(rect, QColor(255, 255, 0));
        const QRectF r(rect);
        QPolygonF triangle;
        switch (direction_) {
        case Arrow::Up: triangle << r.bottomLeft() << r.bottomRight() << QPointF(r.center().x(), r.top()); break;
        case Arrow::Down: triangle << r.topLeft() << r.topRight() << QPointF(r.center().x(), r.bottom()); break;
        case Arrow::Left: triangle << r.topRight() << r.bottomRight() << QPointF(r.left(), r.center().y()); break;
        case Arrow::Right:
        case Arrow::None: triangle << r.topLeft() << r.bottomLeft() << QPointF(r.right(), r.center().y()); break;
        }
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Qt::black);
        painter->drawPolygon(triangle);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels; `scale` is the screen's device pixel ratio.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pm(size);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), (QSizeF(size) / scale).toSize()), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new ArrowIconEngine(direction_); }

private:
    Arrow direction_;
};

}  // namespace

QIcon arrowIcon(Arrow direction) { return QIcon(new ArrowIconEngine(direction)); }

QSize arrowIconSize(Arrow direction) {
    return (direction == Arrow::Left || direction == Arrow::Right) ? QSize(9, 17) : QSize(17, 9);
}

}  // namespace zelt
