#pragma once

#include <string>

#include "link/wire.h"

namespace zelt {

class Timer;

// What the command list window uses of the main window.
class CommandListHost {
public:
    virtual ~CommandListHost() = default;
    // Sends (Direction::Send) through the main window, which also shows the text on its sent-text line.
    virtual void Hyouji(const std::string& text, Direction direction) = 0;
    virtual Timer& Timer2() = 0;  // ends an exchange
    virtual Timer& Timer4() = 0;  // clears the display lines
    // Shows or hides the main window's status strip (Frame15).
    virtual void setStatusFrameVisible(bool visible) = 0;
    // Shows the main window and brings it to the front.
    virtual void showMainWindow() = 0;
};

}  // namespace zelt
