#include "link/exchange.h"

#include <algorithm>

#include "link/reply_decoder.h"
#include "link/traffic_log.h"
#include "platform/serial/serial_port.h"
#include "platform/system/timer.h"

namespace zelt {

Exchange::Exchange(const std::string& commandText, SerialPort& port, Timer& timer2, Timer& timer4,
                   ExchangeDisplay& display)
    : commandText_(commandText), port_(port), timer2_(timer2), timer4_(timer4), display_(display) {}

void Exchange::showLegendsFor(const Transcript& t) {
    if (t.hasCarriageReturn) display_.showCarriageReturnLegend();
    if (t.hasBlank) display_.showSpaceLegend();
}

void Exchange::hyouji(const std::string& text, Direction direction) {
    if (direction == Direction::Send) {
        if (!port_.write(text)) {
            // Nothing went out: the lines, legends, buffer, flag and timers stay as they were.
            if (log_) log_->sendFailed(text);
            display_.sendFailed();
            return;
        }
        if (log_) log_->sent(text);
        display_.setReplyLine("");
        clearBuffer();
        const Transcript t = renderTranscript(text);
        showLegendsFor(t);
        display_.setSentLine(t.text);
        timer2_.setEnabled(true);
        awaitingReply_ = 1;
        timer4_.setEnabled(true);
        return;
    }
    showReceived(text, renderTranscript(text));
}

void Exchange::showReceived(const std::string& text, const Transcript& rendering) {
    showLegendsFor(rendering);
    display_.setReplyLine(rendering.text);
    if (auto phrase = decodeReply(commandText_, text, rendering.text)) display_.setStatusLine(*phrase);
}

void Exchange::onComm() {
    if (port_.commEvent() != SerialPort::kEventReceive) return;
    const std::string piece = port_.readAll();
    if (log_ && !piece.empty()) log_->received(piece);
    receiveBuffer_ += piece;
    appendTranscript(received_, piece);
    blanksInBuffer_ += std::count(piece.begin(), piece.end(), ' ');
    carriageReturnsInBuffer_ += std::count(piece.begin(), piece.end(), kCarriageReturn);
    if (receiveBuffer_.size() > kReceiveBufferLimit) {
        const std::string_view dropped(receiveBuffer_.data(), receiveBuffer_.size() - kReceiveBufferLimit);
        received_.text.erase(1, transcriptWidth(dropped));
        blanksInBuffer_ -= std::count(dropped.begin(), dropped.end(), ' ');
        carriageReturnsInBuffer_ -= std::count(dropped.begin(), dropped.end(), kCarriageReturn);
        receiveBuffer_.erase(0, dropped.size());
    }
    received_.hasBlank = blanksInBuffer_ > 0;
    received_.hasCarriageReturn = carriageReturnsInBuffer_ > 0;
    awaitingReply_ = 0;
    // As Hyouji with the whole buffer, received, with the rendering already at hand.
    showReceived(receiveBuffer_, received_);
}

void Exchange::clearBuffer() {
    receiveBuffer_.clear();
    received_ = Transcript{" "};
    blanksInBuffer_ = 0;
    carriageReturnsInBuffer_ = 0;
}

void Exchange::endOfExchange() {
    if (awaitingReply_ == 1) display_.setReplyLine(" X X X X");
    timer2_.setEnabled(false);
    display_.hideLegends();
    clearBuffer();
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
    clearBuffer();
}

void Exchange::clearReceiveBuffer() { clearBuffer(); }

}  // namespace zelt
