#pragma once

#include <cstdint>
#include <string>

#include "link/wire.h"

namespace zelt {

class Timer;

// What a hold needs of the main window.
class HoldHost {
public:
    virtual ~HoldHost() = default;
    virtual void Hyouji(const std::string& text, Direction direction) = 0;
    // Empties the sent-text line, then the reply line.
    virtual void clearTranscriptLines() = 0;
    virtual void clearReceiveBuffer() = 0;
};

// Press-and-hold repetition: an arrow button sends its command at the press and every 100 ms
// (kRepeatPeriod) while held; the exchange timers run short meanwhile so the transcript keeps up.
class PressAndHold {
public:
    PressAndHold(std::string& commandText, Timer& timer1, Timer& timer2, Timer& timer4, HoldHost& host);

    // CommandN_MouseDown of an arrow button, any mouse button.
    void mouseDown(std::uint8_t repeatKey);
    // CommandN_MouseUp of an arrow button, any mouse button.
    void mouseUp();

    void Cont_M_down();
    void Cont_M_up();
    void Timer1_Timer();

    std::int16_t holdActive() const { return holdActive_; }
    std::uint8_t repeatKey() const { return repeatKey_; }
    void resetRepeatKey() { repeatKey_ = 0; }

private:
    std::string& commandText_;
    Timer& timer1_;
    Timer& timer2_;
    Timer& timer4_;
    HoldHost& host_;
    std::int16_t holdActive_ = 0;
    std::uint8_t repeatKey_ = 0;
};

}  // namespace zelt
