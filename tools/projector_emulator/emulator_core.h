#pragma once

#include <array>
#include <bitset>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/projector_emulator/command_tables.h"
#include "tools/projector_emulator/vocabulary.h"

namespace zelt::emulator {

enum class PowerState { Standby, CountDown, On, CoolingDown };
enum class Fault { None, Lamp, Temperature, Power };

// Its log word: "standby", "countdown", "on", "cooling".
std::string_view powerWord(PowerState state);

struct CoreConfig {
    double warmupSeconds = 3;
    double cooldownSeconds = 3;
    int lampHours = 1234;
    Fault fault = Fault::None;
};

// What one command line leads to.
struct Outcome {
    std::string reply;                 // the bytes to send back; empty: nothing
    std::vector<std::string> changes;  // "name=value" for each piece of state the command set

    bool operator==(const Outcome&) const = default;
};

// The projector's side of the protocol without any I/O: takes command lines (without their
// carriage return) and the time they arrived, keeps the state and builds the replies. Time is
// passed in, in seconds on any monotonic scale, so tests drive it with a fake clock.
//
// A command outside the vocabulary gets "?" and a carriage return; a query ("CR...") gets its
// reply; every other command gets one ACK byte (link/wire.h). Settings change in every power state, as a real
// unit keeps them in standby too; only the power sequence follows the clock.
class EmulatorCore {
public:
    EmulatorCore(Vocabulary vocabulary, const CoreConfig& config, double now);

    // Moves the clock on first, silently: call advance() before it to see the timed changes.
    Outcome handle(std::string_view command, double now);
    // The answer to a line that could not be a command (over-long).
    static Outcome unknown();

    // Moves the clock on; returns the timed changes ("power=on") that happened on the way.
    std::vector<std::string> advance(double now);
    // When the next timed change is due, if one is pending.
    std::optional<double> nextTransitionAt() const { return transitionAt_; }

    PowerState power() const { return power_; }
    bool lampOn() const;
    int input() const { return input_; }
    std::string_view source() const { return sources_[input_ - 1]; }
    int value(std::string_view name) const;
    std::string_view word(std::string_view name) const;

private:
    std::string queryReply(std::string_view query) const;
    void perform(const Action& action, std::vector<std::string>& changes);
    void performExpanded(std::string_view command, std::vector<std::string>& changes);
    void restoreDefaults();
    void integrate(double until);

    void powerOn(std::vector<std::string>& changes);
    void powerOff(std::vector<std::string>& changes);
    void selectInput(int number, std::string_view source, std::vector<std::string>& changes);
    void setValue(const SteppedSetting& setting, int value, std::vector<std::string>& changes);
    void setWord(const WordSetting& setting, std::string_view word, std::vector<std::string>& changes);
    void cycleWord(const WordSetting& setting, int direction, std::vector<std::string>& changes);

    std::string statusReply() const;
    std::string reversalReply() const;
    std::string temperatureReply() const;
    std::string lampStatusReply() const;
    std::string lampModeReply() const;
    std::string signalReply() const;
    std::string pcStoreReply() const;
    std::string modeListReply() const;
    int lampHours() const;
    int filterHours() const;
    int projectorHours() const;

    Vocabulary vocabulary_;
    CoreConfig config_;
    double now_;
    PowerState power_ = PowerState::Standby;
    std::optional<double> transitionAt_;
    double lampSeconds_ = 0;    // lamp time since start or the last reset
    int lampHoursBase_;         // lamp hours at that moment
    double filterSeconds_ = 0;
    int filterHoursBase_;
    double projectorSeconds_ = 0;  // time out of standby
    int projectorHoursBase_;
    double heat_ = 0;           // 0 cold .. 1 at full working temperature
    int input_ = 1;
    std::array<std::string_view, 5> sources_;
    std::map<std::string_view, int> values_;
    std::map<std::string_view, std::string_view> words_;
    std::bitset<10> pcStored_;  // PC adjustment memories MODE1..MODE10
};

}  // namespace zelt::emulator
