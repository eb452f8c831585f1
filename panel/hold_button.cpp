#include "panel/hold_button.h"

#include <QMouseEvent>

namespace zelt {

void HoldButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    setDown(true);
    emit mouseDown(event->button(), event->modifiers(), event->position());
}

void HoldButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->buttons() == Qt::NoButton) setDown(false);
    emit mouseUp(event->button(), event->modifiers(), event->position());
}

void HoldButton::mouseMoveEvent(QMouseEvent* event) {
    // Stays down while held, even with the pointer outside: the hold goes on until the release.
    event->accept();
}

}  // namespace zelt
