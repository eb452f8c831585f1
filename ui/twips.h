#pragma once

#include <QRect>
#include <cmath>

namespace zelt {

// Window geometry is designed in twips: 15 twips to one device-independent pixel, which Qt scales
// on high-dpi screens.
constexpr double kTwipsPerPixel = 15.0;

inline int px(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
inline double twips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect pxRect(double left, double top, double width, double height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// Names a control after its designed name and puts it at its designed place, in twips.
template <typename W>
W* place(W* widget, const char* name, double left, double top, double width, double height) {
    widget->setObjectName(name);
    widget->setGeometry(pxRect(left, top, width, height));
    return widget;
}

}  // namespace zelt
