#include "tools/projector_emulator/emulator_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "link/wire.h"

namespace zelt::emulator {
namespace {

constexpr int kMaxHours = 99999;          // five digits in every hours reply
constexpr int kLampLifeHours = 3000;
constexpr int kInitialFilterHours = 321;
constexpr int kProjectorHoursAhead = 436;  // the unit ran a while before this lamp went in
constexpr double kHeatUpSeconds = 120;     // from cold to working temperature with the lamp on
constexpr double kCoolOffSeconds = 240;    // and back with the lamp off

// Intake, inside and exhaust: cold and at working temperature, in degrees Celsius.
struct Sensor {
    double cold;
    double hot;
};
constexpr Sensor kSensors[] = {{25.0, 30.5}, {25.5, 41.0}, {26.0, 55.5}};
constexpr double kOverheat = 42.0;  // added to the exhaust sensor under a temperature fault

std::string zeroPadded(long value, int digits) {
    if (value < 0) return "-" + zeroPadded(-value, digits - 1);
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < digits) text.insert(0, digits - text.size(), '0');
    return text;
}

// Five characters, one decimal: 25.0 -> "025.0".
std::string temperatureField(double celsius) {
    const long tenths = std::lround(std::clamp(celsius, 0.0, 999.9) * 10);
    return zeroPadded(tenths / 10, 3) + "." + std::to_string(tenths % 10);
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digitsValue(std::string_view text) {
    int value = 0;
    for (const char c : text) value = std::min(value * 10 + (c - '0'), 1'000'000);
    return value;
}

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// The word of `choices` equal to `word`, as a view into the table (a command's text does not
// outlive the command).
std::optional<std::string_view> choiceOf(std::string_view choices, std::string_view word) {
    for (const std::string_view choice : splitWords(choices)) {
        if (choice == word) return choice;
    }
    return std::nullopt;
}

std::string_view cycled(std::string_view choices, std::string_view current, int direction) {
    const std::vector<std::string_view> all = splitWords(choices);
    const auto at = std::find(all.begin(), all.end(), current);
    const long n = static_cast<long>(all.size());
    const long index = at == all.end() ? 0 : (at - all.begin() + direction % n + n) % n;
    return all[static_cast<size_t>(index)];
}

std::string change(std::string_view name, std::string_view value) {
    return std::string(name) + "=" + std::string(value);
}

std::string change(std::string_view name, int value) { return change(name, std::to_string(value)); }

}  // namespace

std::string_view powerWord(PowerState state) {
    switch (state) {
    case PowerState::Standby: return "standby";
    case PowerState::CountDown: return "countdown";
    case PowerState::On: return "on";
    case PowerState::CoolingDown: return "cooling";
    }
    return "standby";
}

EmulatorCore::EmulatorCore(Vocabulary vocabulary, const CoreConfig& config, double now)
    : vocabulary_(std::move(vocabulary)),
      config_(config),
      now_(now),
      lampHoursBase_(std::clamp(config.lampHours, 0, kMaxHours)),
      filterHoursBase_(kInitialFilterHours),
      projectorHoursBase_(std::clamp(config.lampHours + kProjectorHoursAhead, 0, kMaxHours)) {
    restoreDefaults();
}

Outcome EmulatorCore::unknown() { return {std::string{kNotUnderstood, kCarriageReturn}, {}}; }

Outcome EmulatorCore::handle(std::string_view command, double now) {
    advance(now);
    if (!vocabulary_.contains(command)) return unknown();
    if (command.starts_with("CR")) return {queryReply(command) + kCarriageReturn, {}};
    Outcome outcome{std::string(1, kAck), {}};
    for (const FixedCommand& fixed : fixedCommands()) {
        if (fixed.text == command) {
            perform(fixed.action, outcome.changes);
            return outcome;
        }
    }
    if (command.starts_with("CF ")) performExpanded(command.substr(3), outcome.changes);
    return outcome;
}

std::vector<std::string> EmulatorCore::advance(double now) {
    std::vector<std::string> changes;
    while (transitionAt_ && *transitionAt_ <= now) {
        integrate(*transitionAt_);
        power_ = power_ == PowerState::CountDown ? PowerState::On : PowerState::Standby;
        transitionAt_.reset();
        changes.push_back(change("power", powerWord(power_)));
    }
    integrate(now);
    return changes;
}

void EmulatorCore::integrate(double until) {
    const double seconds = until - now_;
    if (seconds <= 0) return;
    if (lampOn()) {
        lampSeconds_ += seconds;
        filterSeconds_ += seconds;
        heat_ = std::min(1.0, heat_ + seconds / kHeatUpSeconds);
    } else {
        heat_ = std::max(0.0, heat_ - seconds / kCoolOffSeconds);
    }
    if (power_ != PowerState::Standby) projectorSeconds_ += seconds;
    now_ = until;
}

bool EmulatorCore::lampOn() const {
    return config_.fault != Fault::Lamp && (power_ == PowerState::CountDown || power_ == PowerState::On);
}

int EmulatorCore::value(std::string_view name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? 0 : it->second;
}

std::string_view EmulatorCore::word(std::string_view name) const {
    const auto it = words_.find(name);
    return it == words_.end() ? std::string_view{} : it->second;
}

void EmulatorCore::restoreDefaults() {
    for (const SteppedSetting& s : steppedSettings()) values_[s.name] = s.initial;
    for (const WordSetting& w : wordSettings()) words_[w.name] = w.initial;
    input_ = 1;
    for (const InputPort& port : inputPorts()) sources_[port.number - 1] = port.initialSource;
    pcStored_.reset();
}

// --- Commands that set something ---

void EmulatorCore::perform(const Action& action, std::vector<std::string>& changes) {
    switch (action.kind) {
    case ActionKind::PowerOn: powerOn(changes); break;
    case ActionKind::PowerOff: powerOff(changes); break;
    case ActionKind::SelectInput: selectInput(action.amount, action.word, changes); break;
    case ActionKind::CycleInput: selectInput((input_ - 1 + action.amount + 5) % 5 + 1, {}, changes); break;
    case ActionKind::CycleSource:
        selectInput(input_, cycled(sourceChoices(), source(), action.amount), changes);
        break;
    case ActionKind::Step:
        if (const SteppedSetting* s = findStepped(action.target)) setValue(*s, value(s->name) + action.amount, changes);
        break;
    case ActionKind::SetValue:
        if (const SteppedSetting* s = findStepped(action.target)) setValue(*s, action.amount, changes);
        break;
    case ActionKind::SetWord:
        if (const WordSetting* w = findWord(action.target)) setWord(*w, action.word, changes);
        break;
    case ActionKind::CycleWord:
        if (const WordSetting* w = findWord(action.target)) cycleWord(*w, action.amount, changes);
        break;
    case ActionKind::ResetLampHours:
        lampHoursBase_ = 0;
        lampSeconds_ = 0;
        changes.push_back(change("lamphours", 0));
        break;
    case ActionKind::ResetFilterHours:
        filterHoursBase_ = 0;
        filterSeconds_ = 0;
        changes.push_back(change("filterhours", 0));
        break;
    case ActionKind::FactoryDefault:
        restoreDefaults();
        changes.push_back(change("defaults", "restored"));
        break;
    }
}

// "CF <word> <rest>" commands that the fixed table does not list: the parameter is part of the
// command (a number, a choice, an input and source).
void EmulatorCore::performExpanded(std::string_view command, std::vector<std::string>& changes) {
    const size_t blank = command.find(' ');
    const std::string_view head = command.substr(0, blank);
    const std::string_view rest = blank == std::string_view::npos ? std::string_view{} : command.substr(blank + 1);

    for (const SteppedSetting& s : steppedSettings()) {
        if (s.word.empty() || s.word != head) continue;
        if (rest == "UP") setValue(s, value(s.name) + 1, changes);
        if (rest == "DN") setValue(s, value(s.name) - 1, changes);
        if (allDigits(rest)) setValue(s, digitsValue(rest), changes);
        return;
    }
    for (const WordSetting& w : wordSettings()) {
        if (w.word != head) continue;
        // The choice is the last word: "CF LOGO 1234 OFF" puts the code in front of it.
        const std::string_view choice = rest.substr(rest.rfind(' ') + 1);
        if (choice == "UP" || choice == "DN") {
            cycleWord(w, choice == "UP" ? +1 : -1, changes);
        } else {
            setWord(w, choice, changes);
        }
        return;
    }
    const std::vector<std::string_view> args = splitWords(rest);
    if (head == "INPUT" && !args.empty()) {  // "CF INPUT HDMI", "CF INPUT COMPUTER1 YPBPR"
        for (const InputPort& port : inputPorts()) {
            if (port.word == args[0]) selectInput(port.number, args.size() > 1 ? args[1] : std::string_view{}, changes);
        }
    } else if (head.size() == 6 && head.starts_with("INPUT") && args.size() == 1) {  // "CF INPUT3 HDMI"
        selectInput(head[5] - '0', args[0], changes);
    } else if (head == "SOURCE" && args.size() == 1) {
        selectInput(input_, args[0], changes);
    } else if ((head == "PCSTORE" || head == "PCMODEFREE") && args.size() == 1 && args[0].starts_with("MODE")) {
        const int mode = digitsValue(args[0].substr(4));
        if (mode >= 1 && mode <= static_cast<int>(pcStored_.size())) {
            pcStored_.set(static_cast<size_t>(mode - 1), head == "PCSTORE");
            changes.push_back(change("pcmode" + std::to_string(mode), head == "PCSTORE" ? "stored" : "free"));
        }
    }
}

void EmulatorCore::powerOn(std::vector<std::string>& changes) {
    if (power_ == PowerState::Standby && config_.fault != Fault::Power) {
        if (config_.fault == Fault::Lamp) {
            // The lamp does not strike: the unit gives up and cools down.
            power_ = PowerState::CoolingDown;
            transitionAt_ = now_ + config_.cooldownSeconds;
        } else {
            power_ = PowerState::CountDown;
            transitionAt_ = now_ + config_.warmupSeconds;
        }
    }
    changes.push_back(change("power", powerWord(power_)));
}

void EmulatorCore::powerOff(std::vector<std::string>& changes) {
    if (power_ == PowerState::CountDown || power_ == PowerState::On) {
        power_ = PowerState::CoolingDown;
        transitionAt_ = now_ + config_.cooldownSeconds;
    }
    changes.push_back(change("power", powerWord(power_)));
}

void EmulatorCore::selectInput(int number, std::string_view source, std::vector<std::string>& changes) {
    if (number < 1 || number > static_cast<int>(sources_.size())) return;
    input_ = number;
    if (const auto known = choiceOf(sourceChoices(), source)) sources_[number - 1] = *known;
    changes.push_back(change("input", input_));
    changes.push_back(change("source", this->source()));
}

void EmulatorCore::setValue(const SteppedSetting& setting, int value, std::vector<std::string>& changes) {
    values_[setting.name] = std::clamp(value, setting.min, setting.max);
    changes.push_back(change(setting.name, values_[setting.name]));
}

void EmulatorCore::setWord(const WordSetting& setting, std::string_view word, std::vector<std::string>& changes) {
    if (const auto choice = choiceOf(setting.choices, word)) words_[setting.name] = *choice;
    changes.push_back(change(setting.name, words_[setting.name]));
}

void EmulatorCore::cycleWord(const WordSetting& setting, int direction, std::vector<std::string>& changes) {
    setWord(setting, cycled(setting.choices, words_[setting.name], direction), changes);
}

// --- Queries ---

std::string EmulatorCore::queryReply(std::string_view query) const {
    using Reader = std::string (*)(const EmulatorCore&);
    static const std::pair<std::string_view, Reader> kReaders[] = {
        {"CR0", [](const EmulatorCore& c) { return c.statusReply(); }},
        {"CR1", [](const EmulatorCore& c) { return std::to_string(c.input_); }},
        {"CR3", [](const EmulatorCore& c) { return zeroPadded(c.lampHours(), 5); }},
        {"CR4", [](const EmulatorCore& c) { return c.reversalReply(); }},
        {"CR6", [](const EmulatorCore& c) { return c.temperatureReply(); }},
        {"CR7", [](const EmulatorCore& c) { return c.lampModeReply(); }},
        {"CR LAMPSTS", [](const EmulatorCore& c) { return c.lampStatusReply(); }},
        {"CR LAMPMODE", [](const EmulatorCore& c) { return c.lampModeReply(); }},
        {"CR LAMPH", [](const EmulatorCore& c) { return zeroPadded(c.lampHours(), 5); }},
        {"CR LAMPCORRESPH", [](const EmulatorCore& c) { return zeroPadded(c.lampHours(), 5); }},
        {"CR LAMPREPL",
         [](const EmulatorCore& c) { return zeroPadded(std::max(0, kLampLifeHours - c.lampHours()), 5); }},
        {"CR PROJH", [](const EmulatorCore& c) { return zeroPadded(c.projectorHours(), 5); }},
        {"CR FILH", [](const EmulatorCore& c) { return zeroPadded(c.filterHours(), 5); }},
        {"CR FILREPL",
         [](const EmulatorCore& c) {
             const std::string_view timer = c.word("filtertimer");
             return zeroPadded(timer == "OFF" ? 0 : std::max(0, digitsValue(timer) - c.filterHours()), 5);
         }},
        {"CR INPUT", [](const EmulatorCore& c) { return std::to_string(c.input_); }},
        {"CR SOURCE", [](const EmulatorCore& c) { return std::string(c.source()); }},
        {"CR SERSYS", [](const EmulatorCore& c) { return c.signalReply(); }},
        {"CR PCSTORE", [](const EmulatorCore& c) { return c.pcStoreReply(); }},
        {"CR MODELIST", [](const EmulatorCore& c) { return c.modeListReply(); }},
        {"CR STATUS", [](const EmulatorCore& c) { return c.statusReply(); }},
        {"CR SIGNAL",
         [](const EmulatorCore& c) { return std::string(c.power_ == PowerState::On ? "SIGNAL" : "NOSIGNAL"); }},
        {"CR TEMP", [](const EmulatorCore& c) { return c.temperatureReply(); }},
        {"CR TEMPWARN",
         [](const EmulatorCore& c) {
             return std::string(c.config_.fault == Fault::Temperature ? "WARNING" : "NORMAL");
         }},
        {"CR TEMPFAIL",
         [](const EmulatorCore& c) {
             return c.config_.fault == Fault::Temperature ? c.temperatureReply() : std::string("000.0 000.0 000.0");
         }},
    };
    for (const auto& [name, reader] : kReaders) {
        if (name == query) return reader(*this);
    }
    for (const FixedReply& fixed : fixedReplies()) {
        if (fixed.query == query) return std::string(fixed.reply);
    }
    if (query.starts_with("CR SRCINP") && query.size() == 10) {  // "CR SRCINP3"
        const int number = query[9] - '0';
        if (number >= 1 && number <= static_cast<int>(sources_.size())) return std::string(sources_[number - 1]);
    }
    if (query.starts_with("CR ")) {
        const std::string_view name = query.substr(3);
        for (const SteppedSetting& s : steppedSettings()) {
            if (!s.word.empty() && s.word == name) return zeroPadded(value(s.name), s.replyDigits);
        }
        for (const WordSetting& w : wordSettings()) {
            if (w.readWord == name) return std::string(word(w.name));
        }
    }
    return "000";  // in the vocabulary, but nothing here keeps its value
}

// Two characters: the power state ("8" standby, "4" count down, "0" on, "2" cooling down) and
// the fault ("0" none, "8" temperature, "1" lamp); a power fault is "10" whatever the state.
std::string EmulatorCore::statusReply() const {
    if (config_.fault == Fault::Power) return "10";
    std::string reply(2, '0');
    switch (power_) {
    case PowerState::Standby: reply[0] = '8'; break;
    case PowerState::CountDown: reply[0] = '4'; break;
    case PowerState::On: reply[0] = '0'; break;
    case PowerState::CoolingDown: reply[0] = '2'; break;
    }
    if (config_.fault == Fault::Temperature) reply[1] = '8';
    if (config_.fault == Fault::Lamp) reply[1] = '1';
    return reply;
}

// "11" normal; a "0" first for left/right reversal (rear), a "0" second for top/bottom (ceiling).
std::string EmulatorCore::reversalReply() const {
    return {word("rear") == "ON" ? '0' : '1', word("ceiling") == "ON" ? '0' : '1'};
}

// Three five-character fields with one blank between them: "025.0 030.5 041.0".
std::string EmulatorCore::temperatureReply() const {
    std::string reply;
    for (size_t i = 0; i < std::size(kSensors); ++i) {
        double celsius = kSensors[i].cold + (kSensors[i].hot - kSensors[i].cold) * heat_;
        if (config_.fault == Fault::Temperature && i + 1 == std::size(kSensors)) celsius += kOverheat;
        if (i > 0) reply += ' ';
        reply += temperatureField(celsius);
    }
    return reply;
}

std::string EmulatorCore::lampStatusReply() const {
    const char letter = config_.fault == Fault::Lamp ? 'X' : lampOn() ? 'I' : 'O';
    return std::string("000 1") + letter;
}

std::string EmulatorCore::lampModeReply() const { return "000 " + std::string(word("lampmode")); }

std::string EmulatorCore::signalReply() const {
    const std::string_view system = word("system");
    return std::string(system == "AUTO" ? detectedSignal(source()) : system);
}

// One character per PC adjustment memory, MODE1 first: "1" stored, "0" free.
std::string EmulatorCore::pcStoreReply() const {
    std::string reply;
    for (size_t i = 0; i < pcStored_.size(); ++i) reply += pcStored_[i] ? '1' : '0';
    return reply;
}

std::string EmulatorCore::modeListReply() const {
    std::string reply;
    for (size_t i = 0; i < pcStored_.size(); ++i) {
        if (!pcStored_[i]) continue;
        if (!reply.empty()) reply += ' ';
        reply += "MODE" + std::to_string(i + 1);
    }
    return reply.empty() ? "NONE" : reply;
}

int EmulatorCore::lampHours() const {
    return std::min(kMaxHours, lampHoursBase_ + static_cast<int>(lampSeconds_ / 3600));
}

int EmulatorCore::filterHours() const {
    return std::min(kMaxHours, filterHoursBase_ + static_cast<int>(filterSeconds_ / 3600));
}

int EmulatorCore::projectorHours() const {
    return std::min(kMaxHours, projectorHoursBase_ + static_cast<int>(projectorSeconds_ / 3600));
}

}  // namespace zelt::emulator
