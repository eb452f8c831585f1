#include "link/exchange.h"

#include "link/reply_decoder.h"
#include "platform/serial_port.h"
#include "platform/timer.h"

namespace zelt {

Exchange::Exchange(const std::string& commandText, SerialPort& port, Timer& timer2, Timer& timer4,
                   ExchangeDisplay& display)
    : commandText_(commandText), port_(port), timer2_(timer2), timer4_(timer4), display_(display) {}

void Exchange::showLegendsFor(const Transcript& t) {
    if (t.hasCarriageReturn) display_.showCarriageReturnLegend();
    if (t.hasBlank) display_.showSpaceLegend();
}

void Exchange::hyouji(const std::string& text, std::uint8_t direction) {
    if (direction == kSend) {
        if (!port_.write(text)) {
            // Nothing went out: the lines, legends, buffer, flag and timers stay as they were.
            display_.sendFailed();
            return;
        }
        display_.setReplyLine("");
        receiveBuffer_.clear();
        const Transcript t = renderTranscript(text);
        showLegendsFor(t);
        display_.setSentLine(t.text);
        timer2_.setEnabled(true);
        awaitingReply_ = 1;
        timer4_.setEnabled(true);
        return;
    }
    const Transcript t = renderTranscript(text);
    showLegendsFor(t);
    display_.setReplyLine(t.text);
    if (auto phrase = decodeReply(commandText_, text, t.text)) display_.setStatusLine(*phrase);
}

void Exchange::onComm() {
    if (port_.commEvent() != SerialPort::kEventReceive) return;
    receiveBuffer_ += port_.readAll();
    if (receiveBuffer_.size() > kReceiveBufferLimit)
        receiveBuffer_.erase(0, receiveBuffer_.size() - kReceiveBufferLimit);
    awaitingReply_ = 0;
    hyouji(receiveBuffer_, kReceived);
}

void Exchange::endOfExchange() {
    if (awaitingReply_ == 1) display_.setReplyLine(" X X X X");
    timer2_.setEnabled(false);
    display_.hideLegends();
    receiveBuffer_.clear();
    awaitingReply_ = 0;
}

void Exchange::clearDisplay() {
    display_.setSentLine("");
    display_.setReplyLine("");
    display_.setStatusLine("");
    timer4_.setEnabled(false);
}

void Exchange::reset() {
    awaitingReply_ = 0;
    receiveBuffer_.clear();
}

void Exchange::clearReceiveBuffer() { receiveBuffer_.clear(); }

}  // namespace zelt
