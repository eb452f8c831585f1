#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/transcript.h"
#include "link/wire.h"

namespace zelt {

class SerialPort;
class Timer;

// The main window's display lines and legends, as the exchange writes them.
class ExchangeDisplay {
public:
    virtual ~ExchangeDisplay() = default;
    virtual void setSentLine(const std::string& text) = 0;   // Label11
    virtual void setReplyLine(const std::string& text) = 0;  // Label12
    virtual void setStatusLine(const std::string& text) = 0; // Label25
    virtual void showSpaceLegend() = 0;                      // Label27
    virtual void showCarriageReturnLegend() = 0;             // Label28
    virtual void hideLegends() = 0;                          // Label27, then Label28
    // A send did not go out (the port is closed or the device refused the bytes).
    virtual void sendFailed() = 0;
};

// One exchange with the projector at a time: a send, the reply collected as it arrives, and the
// two timers that end the exchange (Timer2) and clear the display lines (Timer4).
class Exchange {
public:
    // The newest characters kept when a device keeps sending without a pause.
    static constexpr std::size_t kReceiveBufferLimit = 32766;

    Exchange(const std::string& commandText, SerialPort& port, Timer& timer2, Timer& timer4,
             ExchangeDisplay& display);

    // Hyouji: Direction::Send sends `text`; any other direction shows received text and decodes it.
    void hyouji(const std::string& text, Direction direction);
    // MSComm1_OnComm: data received (event code 2) is appended and shown; other events are ignored.
    void onComm();
    // Timer2_Timer: end of exchange.
    void endOfExchange();
    // Timer4_Timer: display clearing.
    void clearDisplay();

    // RepeatKey's partners at start-up and after a hold.
    void reset();
    void clearReceiveBuffer();

    std::uint8_t awaitingReply() const { return awaitingReply_; }
    const std::string& receiveBuffer() const { return receiveBuffer_; }

private:
    void showLegendsFor(const Transcript& t);
    // Steps of received text: legends, the reply line, the decoding.
    void showReceived(const std::string& text, const Transcript& rendering);
    void clearBuffer();

    const std::string& commandText_;
    SerialPort& port_;
    Timer& timer2_;
    Timer& timer4_;
    ExchangeDisplay& display_;
    std::uint8_t awaitingReply_ = 0;
    std::string receiveBuffer_;
    // The rendering of receiveBuffer_, kept up to date piece by piece: a device that keeps
    // sending costs the new characters only, not the whole buffer on every receipt.
    Transcript received_{" "};
    std::size_t blanksInBuffer_ = 0;
    std::size_t carriageReturnsInBuffer_ = 0;
};

}  // namespace zelt
