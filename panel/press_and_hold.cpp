#include "panel/press_and_hold.h"

#include "link/timing.h"
#include "link/wire.h"
#include "panel/repeat_table.h"
#include "platform/system/timer.h"

namespace zelt {

PressAndHold::PressAndHold(std::string& commandText, Timer& timer1, Timer& timer2, Timer& timer4, HoldHost& host)
    : commandText_(commandText), timer1_(timer1), timer2_(timer2), timer4_(timer4), host_(host) {}

void PressAndHold::mouseDown(std::uint8_t repeatKey) {
    if (holdActive_ != 0) return;  // a second button going down changes nothing
    const RepeatRow* row = repeatRow(repeatKey);
    if (row == nullptr) return;
    holdActive_ = 1;
    repeatKey_ = repeatKey;
    commandText_ = std::string(row->command) + kCarriageReturn;
    Cont_M_down();
}

void PressAndHold::mouseUp() { Cont_M_up(); }

void PressAndHold::Cont_M_down() {
    timer1_.setInterval(kRepeatPeriod);
    timer2_.setInterval(kHoldTimer2);
    timer4_.setInterval(kHoldTimer4);
    host_.Hyouji(commandText_, Direction::Send);
    timer1_.setEnabled(true);
}

void PressAndHold::Cont_M_up() {
    repeatKey_ = 0;
    timer1_.setEnabled(false);
    timer2_.setEnabled(false);
    timer4_.setEnabled(true);
    host_.clearTranscriptLines();
    timer2_.setInterval(kReleasedTimer2);
    timer4_.setInterval(kReleasedTimer4);
    host_.clearReceiveBuffer();
    holdActive_ = 0;
}

void PressAndHold::Timer1_Timer() {
    const RepeatRow* row = repeatRow(repeatKey_);
    if (row == nullptr) return;  // no hold: nothing sent, the timer left as it is
    // Rebuilt each tick, so another button's send meanwhile does not change what repeats.
    commandText_ = std::string(row->command) + kCarriageReturn;
    host_.Hyouji(commandText_, Direction::Send);
    timer1_.setEnabled(true);
}

}  // namespace zelt
