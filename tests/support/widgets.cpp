#include "tests/support/widgets.h"

#include <QLabel>
#include <QPushButton>

namespace zelt::test {

QPushButton* buttonByCaption(QWidget* window, const QString& caption, const QString& heading) {
    QPushButton* found = nullptr;
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->window() != window || button->text() != caption) continue;
        if (!heading.isEmpty()) {
            const QWidget* frame = button->parentWidget();
            bool headed = false;
            for (const QLabel* label : frame->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
                headed = headed || label->text() == heading;
            if (!headed) continue;
        }
        if (found != nullptr) return nullptr;  // ambiguous
        found = button;
    }
    return found;
}

std::string labelText(const QWidget* window, const char* name) {
    const auto* label = window->findChild<QLabel*>(name);
    return label ? label->text().toLatin1().toStdString() : std::string();
}

}  // namespace zelt::test
