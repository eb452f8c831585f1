#pragma once

#include <span>
#include <string_view>

namespace zelt::emulator {

// What the emulated projector does on its commands, as data. The names are the ones the log and
// EmulatorCore's observers use.

// A number moved in steps ("CF <word> UP", "CF <word> DN"), set directly ("CF <word> 032") and
// read ("CR <word>"); always kept within min..max.
struct SteppedSetting {
    std::string_view name;
    std::string_view word;  // empty: reached only by fixed commands
    int min;
    int max;
    int initial;
    int replyDigits;  // of the "CR <word>" reply, zero-padded
};

// One of a few words: "CF <word> <choice>" sets it, "CF <word> UP|DN" moves through the choices
// (wrapping round), "CR <readWord>" reads it.
struct WordSetting {
    std::string_view name;
    std::string_view word;
    std::string_view readWord;
    std::string_view choices;  // blank-separated, in "UP" order
    std::string_view initial;
};

enum class ActionKind {
    PowerOn,
    PowerOff,
    SelectInput,  // amount: input 1..5; word: its new source, empty keeps the source
    CycleInput,   // amount: +1 or -1
    CycleSource,  // amount: +1 or -1, for the selected input
    Step,         // target: a stepped setting; amount: the step
    SetValue,     // target: a stepped setting; amount: the value
    SetWord,      // target: a word setting; word: its new word
    CycleWord,    // target: a word setting; amount: +1 or -1
    ResetLampHours,
    ResetFilterHours,
    FactoryDefault,
};

struct Action {
    ActionKind kind;
    std::string_view target = {};
    int amount = 0;
    std::string_view word = {};
};

// A command text with a fixed action.
struct FixedCommand {
    std::string_view text;
    Action action;
};

// The five inputs: number (as "CR1" reports it), the word of "CF INPUT <word>", the source an
// input starts with.
struct InputPort {
    int number;
    std::string_view word;
    std::string_view initialSource;
};

// A query with a constant reply (without its carriage return).
struct FixedReply {
    std::string_view query;
    std::string_view reply;
};

std::span<const SteppedSetting> steppedSettings();
std::span<const WordSetting> wordSettings();
std::span<const FixedCommand> fixedCommands();
std::span<const InputPort> inputPorts();
std::span<const FixedReply> fixedReplies();

// Every source word, in "CF SOURCE UP" order.
std::string_view sourceChoices();
// What a "CR SERSYS" reports in automatic mode for a source: the signal found on it.
std::string_view detectedSignal(std::string_view source);

const SteppedSetting* findStepped(std::string_view name);
const WordSetting* findWord(std::string_view name);

}  // namespace zelt::emulator
