#pragma once

#include <QPushButton>

namespace zelt {

// An arrow button: it reports every mouse press and release, of any mouse button, and has no
// click action of its own. The release comes to this button wherever the pointer is by then,
// since the pressed button holds the mouse until every button is up.
class HoldButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

signals:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF position);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace zelt
