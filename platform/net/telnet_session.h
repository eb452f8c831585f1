#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelt {

// The wire codes of telnet (RFC 854, 855) and of its COM-PORT-OPTION (RFC 2217) that the client uses.
namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// COM-PORT-OPTION commands from the client; the server answers each with the code plus 100.
inline constexpr uint8_t kSetBaudrate = 1;
inline constexpr uint8_t kSetDatasize = 2;
inline constexpr uint8_t kSetParity = 3;
inline constexpr uint8_t kSetStopsize = 4;
inline constexpr uint8_t kSetControl = 5;
inline constexpr uint8_t kServerOffset = 100;

inline constexpr uint8_t kDatasize8 = 8;
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kStopsize1 = 1;
inline constexpr uint8_t kControlNoFlow = 1;
}  // namespace telnet

// The client's side of a telnet session carrying a serial line with the COM-PORT-OPTION. Pure: it
// is fed what the server sends and says what to deliver and what to answer; the caller moves the
// bytes. Binary and suppress-go-ahead are accepted both ways and the COM-PORT-OPTION on our side;
// every other option is refused once. Requests that would not change an option's state get no
// answer, so two parties cannot talk each other into a loop. Memory stays fixed whatever the
// server sends: a subnegotiation longer than kMaxSubnegotiation is skipped, not kept.
class TelnetSession {
public:
    // The longest subnegotiation the client keeps; the longest one it reads (a speed
    // acknowledgement: code and 4 bytes) is far shorter, and the rest only need skipping.
    static constexpr size_t kMaxSubnegotiation = 64;

    // What the client sends as soon as the connection stands: its offers, then the serial
    // settings at `baud`. The settings do not wait for the server's consent: ser2net processes the
    // offer before them, so the speed is in force before the first data byte; a server that
    // refuses the option drops them.
    std::string start(uint32_t baud);

    // Bytes from the server, in any pieces: appends the data bytes to `data` (0xFF 0xFF as one
    // 0xFF) and the answers the server must get to `reply`.
    void receive(std::string_view bytes, std::string& data, std::string& reply);

    // The serial settings at a new speed; empty once the server has refused the COM-PORT-OPTION.
    std::string speedChange(uint32_t baud) const;

    // Data as it goes on the wire: every 0xFF doubled.
    static std::string escapeData(std::string_view data);
    // SET-BAUDRATE (4 bytes, big-endian), SET-DATASIZE 8, SET-PARITY none, SET-STOPSIZE 1,
    // SET-CONTROL no flow control; one subnegotiation each.
    static std::string serialSettings(uint32_t baud);

    // Whether an option is in force on our side (we WILL) or on the server's (it WILL).
    bool ourOption(uint8_t option) const { return us_[option] == State::Yes; }
    bool serverOption(uint8_t option) const { return him_[option] == State::Yes; }
    // The speed the server last said is in force; 0 until it says.
    uint32_t acknowledgedBaud() const { return acknowledgedBaud_; }
    // Bytes held for an unfinished subnegotiation; never above kMaxSubnegotiation.
    size_t held() const { return sbLength_; }

private:
    // RFC 1143's states, less the ones a client that never withdraws an option needs, plus
    // Refused: a request already refused is not answered again.
    enum class State : uint8_t { No, Yes, WantYes, Refused };
    enum class Rx : uint8_t { Data, Iac, Will, Wont, Do, Dont, SbOption, Sb, SbIac };

    void command(uint8_t byte);
    void negotiate(Rx verb, uint8_t option, std::string& reply);
    void subnegotiation();

    std::array<State, 256> us_{};
    std::array<State, 256> him_{};
    Rx rx_ = Rx::Data;
    uint8_t sbOption_ = 0;
    std::array<uint8_t, kMaxSubnegotiation> sb_{};
    size_t sbLength_ = 0;
    bool sbOverflow_ = false;
    uint32_t acknowledgedBaud_ = 0;
};

}  // namespace zelt
