#include "platform/net/telnet_session.h"

#include <initializer_list>

namespace zelt {

using namespace telnet;

namespace {

// The options the client takes on, on its own side and on the server's.
bool acceptedForUs(uint8_t option) { return option == kBinary || option == kSuppressGoAhead || option == kComPort; }
bool acceptedForServer(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

void put(std::string& out, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) out += static_cast<char>(b);
}

// IAC SB COM-PORT-OPTION <code> <value, IAC doubled> IAC SE
void putComPortCommand(std::string& out, uint8_t code, std::initializer_list<uint8_t> value) {
    put(out, {kIac, kSb, kComPort, code});
    for (uint8_t b : value) {
        out += static_cast<char>(b);
        if (b == kIac) out += static_cast<char>(kIac);
    }
    put(out, {kIac, kSe});
}

}  // namespace

std::string TelnetSession::start(uint32_t baud) {
    std::string out;
    for (uint8_t option : {kBinary, kSuppressGoAhead}) {
        us_[option] = State::WantYes;
        him_[option] = State::WantYes;
        put(out, {kIac, kWill, option, kIac, kDo, option});
    }
    us_[kComPort] = State::WantYes;
    put(out, {kIac, kWill, kComPort});
    return out + serialSettings(baud);
}

std::string TelnetSession::speedChange(uint32_t baud) const {
    const State comPort = us_[kComPort];
    if (comPort != State::Yes && comPort != State::WantYes) return {};
    return serialSettings(baud);
}

std::string TelnetSession::escapeData(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (char c : data) {
        out += c;
        if (static_cast<uint8_t>(c) == kIac) out += c;
    }
    return out;
}

std::string TelnetSession::serialSettings(uint32_t baud) {
    std::string out;
    putComPortCommand(out, kSetBaudrate,
                      {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                       static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)});
    putComPortCommand(out, kSetDatasize, {kDatasize8});
    putComPortCommand(out, kSetParity, {kParityNone});
    putComPortCommand(out, kSetStopsize, {kStopsize1});
    putComPortCommand(out, kSetControl, {kControlNoFlow});
    return out;
}

void TelnetSession::negotiate(Rx verb, uint8_t option, std::string& reply) {
    const bool aboutServer = verb == Rx::Will || verb == Rx::Wont;
    const bool enable = verb == Rx::Will || verb == Rx::Do;
    State& state = aboutServer ? him_[option] : us_[option];
    // Our answers: to the server's WILL/WONT we say DO/DONT, to its DO/DONT we say WILL/WONT.
    const uint8_t yes = aboutServer ? kDo : kWill;
    const uint8_t no = aboutServer ? kDont : kWont;
    if (enable) {
        if (state == State::WantYes) {
            state = State::Yes;  // the answer to our own offer
        } else if (state == State::No) {
            const bool accepted = aboutServer ? acceptedForServer(option) : acceptedForUs(option);
            state = accepted ? State::Yes : State::Refused;
            put(reply, {kIac, accepted ? yes : no, option});
        }
    } else {
        if (state == State::Yes) {
            state = State::No;
            put(reply, {kIac, no, option});  // acknowledged, as the protocol asks
        } else if (state == State::WantYes) {
            state = State::No;  // our offer was refused
        }
    }
}

void TelnetSession::subnegotiation() {
    if (sbOption_ == kComPort && sbLength_ >= 5 && sb_[0] == kSetBaudrate + kServerOffset)
        acknowledgedBaud_ = (uint32_t{sb_[1]} << 24) | (uint32_t{sb_[2]} << 16) | (uint32_t{sb_[3]} << 8) | sb_[4];
}

void TelnetSession::receive(std::string_view bytes, std::string& data, std::string& reply) {
    auto keep = [this](uint8_t b) {
        if (sbOverflow_) return;
        if (sbLength_ < sb_.size()) {
            sb_[sbLength_++] = b;
        } else {
            sbOverflow_ = true;  // too long to be one we read: skip it to its end
            sbLength_ = 0;
        }
    };
    // The byte after an IAC outside a subnegotiation.
    auto afterIac = [&](uint8_t b) {
        switch (b) {
        case kIac:
            data += static_cast<char>(b);
            rx_ = Rx::Data;
            break;
        case kWill: rx_ = Rx::Will; break;
        case kWont: rx_ = Rx::Wont; break;
        case kDo: rx_ = Rx::Do; break;
        case kDont: rx_ = Rx::Dont; break;
        case kSb: rx_ = Rx::SbOption; break;
        default: rx_ = Rx::Data; break;  // NOP, go-ahead, data mark, a stray SE...: nothing to do
        }
    };

    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        switch (rx_) {
        case Rx::Data:
            if (b == kIac)
                rx_ = Rx::Iac;
            else
                data += c;
            break;
        case Rx::Iac: afterIac(b); break;
        case Rx::Will:
        case Rx::Wont:
        case Rx::Do:
        case Rx::Dont:
            negotiate(rx_, b, reply);
            rx_ = Rx::Data;
            break;
        case Rx::SbOption:
            sbOption_ = b;
            sbLength_ = 0;
            sbOverflow_ = false;
            rx_ = Rx::Sb;
            break;
        case Rx::Sb:
            if (b == kIac)
                rx_ = Rx::SbIac;
            else
                keep(b);
            break;
        case Rx::SbIac:
            if (b == kIac) {
                keep(b);
                rx_ = Rx::Sb;
            } else {
                if (b == kSe && !sbOverflow_) subnegotiation();
                sbLength_ = 0;
                sbOverflow_ = false;
                // Anything but SE here is malformed: the subnegotiation ends, the byte is a command.
                if (b == kSe)
                    rx_ = Rx::Data;
                else
                    afterIac(b);
            }
            break;
        }
    }
}

}  // namespace zelt
