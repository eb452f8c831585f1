#pragma once

#include <QString>
#include <string>

class QPushButton;
class QWidget;

namespace zelt::test {

// The push button of `window` itself (not of a window it owns) whose caption is `caption` and,
// when `heading` is given, whose frame carries that heading; nullptr when there is none or more
// than one, so a test names the button the operator sees.
QPushButton* buttonByCaption(QWidget* window, const QString& caption, const QString& heading = {});

// The text of the label named `name` in `window`, as the Latin-1 bytes it shows; "" when there is
// no such label.
std::string labelText(const QWidget* window, const char* name);

}  // namespace zelt::test
