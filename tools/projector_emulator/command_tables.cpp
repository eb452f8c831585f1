#include "tools/projector_emulator/command_tables.h"

namespace zelt::emulator {
namespace {

using K = ActionKind;

// The tables are laid out by hand, in columns.
// clang-format off

// Ranges are plausible for a projector of this kind, not measured on one.
constexpr SteppedSetting kStepped[] = {
    // name             word          min   max   initial digits
    {"brightness",      "BRIGHT",       0,   63,    32,   3},
    {"contrast",        "CONT",         0,   63,    32,   3},
    {"color",           "COLOR",        0,   63,    32,   3},
    {"tint",            "TINT",         0,   63,    32,   3},
    {"sharpness",       "SHARP",        0,   31,    16,   3},
    {"gamma",           "GAMMA",        0,   15,     8,   3},
    {"whitebalance-r",  "WBAL-R",       0,   63,    32,   3},
    {"whitebalance-g",  "WBAL-G",       0,   63,    32,   3},
    {"whitebalance-b",  "WBAL-B",       0,   63,    32,   3},
    {"finesync",        "FSYNC",        0,   31,    16,   4},
    {"totaldots",       "TDOTS",     1000, 2000,  1344,   4},
    {"clamp",           "CLAMP",        1,   63,    12,   4},
    {"hposition",       "H-POS",        0,  400,   200,   4},
    {"vposition",       "V-POS",        0,  100,    35,   4},
    {"displaydots",     "DDOTS",      640, 1920,  1024,   4},
    {"displaylines",    "DLINE",      480, 1200,   768,   4},
    {"customvscale",    "VSCALE",       0,  100,    50,   3},
    {"customvpos",      "VPOS",         0,  100,    50,   3},
    {"customhscale",    "HSCALE",       0,  100,    50,   3},
    {"customhpos",      "HPOS",         0,  100,    50,   3},
    {"volume",          "VOLUME",       0,   63,    16,   3},
    {"pmanagetime",     "P-MANETIME",   1,   30,     5,   3},
    {"ptime",           "PTIME",        1,  180,    10,   3},
    {"keystone",        "KEYSTONE",   -30,   30,     0,   3},
    {"dzoom",           "",             0,   31,     0,   3},
};

constexpr WordSetting kWords[] = {
    // name           word              read word          choices                                   initial
    {"progressive",   "PROGV",          "PROGV",           "OFF L1 L2 FILM",                          "L1"},
    {"noisereduction", "NZRED",         "NZRED",           "OFF L1 L2",                               "OFF"},
    {"image",         "IMAGE",          "IMAGE",
     "STAND REAL CINEMA BLACKBOARD COLORBOARD DYNAMIC CUSTOM1 CUSTOM2 CUSTOM3 CUSTOM4",                  "STAND"},
    {"colorboard",    "COLBOARD",       "COLBOARD",        "RED BLUE YELLOW GREEN",                   "GREEN"},
    {"colortemp",     "COLTEMP",        "COLTEMP",         "000 001 002 003",                         "001"},
    {"system",        "SYSTEM",         "SYSTEM",
     "AUTO VGA1 XGA1 WXGA3 NTSC NTSC443 PAL SECAM PAL-M PAL-N 1080I 1035I 720P 575P 480P 575I 480I "
     "D-XGA1 D-WXGA3 D-1080I D-1035I D-720P D-575P D-480P",                                              "AUTO"},
    {"screen",        "SCREEN",         "SCREEN",          "NORMAL TRUE FULL WIDE ZOOM CUSTOM NATURAL", "NORMAL"},
    {"keystonestore", "KYSTNMODE",      "KYSTNMODE",       "STR RST",                                 "RST"},
    {"lampmode",      "LAMPMODE",       "LAMPMODE",        "ECO NORMAL HIGH",                         "NORMAL"},
    {"audiomute",     "MUTE",           "MUTE",            "OFF ON",                                  "OFF"},
    {"language",      "LANG",           "LANG",
     "ENG DEU FRA ITA ESP POR NED SVE RUS CHI KOR JPN FIN POL HUN ROM THA TUR KAZ VIE",                  "ENG"},
    {"autosetuppc",   "AUTOSETUPPCADJ", "AUTOSETUPPCADJ",  "ON OFF",                                  "ON"},
    {"inputsearch",   "INPUTSEARCH",    "INPUTSEARCH",     "OFF ON1 ON2",                             "OFF"},
    {"background",    "BACKGND",        "BACKGND",         "BLUE USER BLACK",                         "BLUE"},
    {"display",       "DISP",           "DISP",            "ON CNTDWNOFF OFF",                        "ON"},
    {"logo",          "LOGO",           "LOGO",            "OFF DFLT USER",                           "DFLT"},
    {"ceiling",       "CEIL",           "CEIL",            "OFF ON",                                  "OFF"},
    {"rear",          "REAR",           "REAR",            "OFF ON",                                  "OFF"},
    {"screenaspect",  "SCREENASPECT",   "SCREENASPECT",    "43MODE 169MODE 1610MODE",                 "43MODE"},
    {"hdmisetup",     "HDMISETUP",      "HDMISETUP",       "NORMAL ENHANCED",                         "NORMAL"},
    {"hdmisound",     "HDMISOUND",      "HDMISETUPSOUND",  "HDMI EXTERNAL",                           "HDMI"},
    {"terminal",      "TERMINAL",       "TERMINAL",        "COMPUTER MONITOR",                        "COMPUTER"},
    {"standbymode",   "STANDBYMODE",    "STANDBYMODE",     "ECO NORMAL",                              "NORMAL"},
    {"powermanage",   "P-MANE",         "P-MANE",          "OFF READY SHUTDOWN",                      "READY"},
    {"onstart",       "ON-STA",         "ON-STA",          "OFF ON",                                  "OFF"},
    {"ptimermode",    "PTIMEMODE",      "PTIMEMODE",       "COUNTUP COUNTDN",                         "COUNTUP"},
    {"ptimer",        "PTIMER",         "PTIMER",          "START STOP RESTART RST EXIT",             "EXIT"},
    {"captiondisp",   "CCAPTIONDISP",   "CCAPTIONDISP",    "OFF CC1 CC2 CC3 CC4",                     "OFF"},
    {"captioncolor",  "CCAPTIONCOLOR",  "CCAPTIONCOLOR",   "COLOR WHITE",                             "COLOR"},
    {"remotecode",    "RCODE",          "RCODE",           "001 002",                                 "001"},
    {"keydisable",    "KEYDIS",         "KEYDIS",          "NONE RC KEY",                             "NONE"},
    {"fanmode",       "FANMODE",        "FANMODE",         "L1 L2",                                   "L1"},
    {"fancontrol",    "FANCONTROL",     "FANCONTROL",      "OFF ON1 ON2",                             "OFF"},
    {"videodelay",    "DELAYCTRL",      "DELAYCTRL",       "OFF ON",                                  "OFF"},
    {"filtertimer",   "FILTIMER",       "FILTIMER",        "2000 3000 4000 OFF",                      "3000"},
    {"menu",          "MENU",           "MENU",            "OFF ON",                                  "OFF"},
    {"freeze",        "FREEZE",         "FREEZE",          "OFF ON",                                  "OFF"},
    {"videomute",     "VMUTE",          "VMUTE",           "OFF ON",                                  "OFF"},
};

// Commands whose action does not depend on a parameter. Commands of the vocabulary that are in
// no table (menu pointer, enter, auto adjust, key emulation, ...) are acknowledged and change
// nothing that a query could show.
constexpr FixedCommand kFixed[] = {
    {"C00", {K::PowerOn}},
    {"C01", {K::PowerOff}},
    {"C02", {K::PowerOff}},
    {"C04", {K::SelectInput, {}, 3, "HDMI"}},
    {"C05", {K::SelectInput, {}, 1}},
    {"C06", {K::SelectInput, {}, 2}},
    {"C07", {K::SelectInput, {}, 4, "VIDEO"}},
    {"C09", {K::Step, "volume", +1}},
    {"C0A", {K::Step, "volume", -1}},
    {"C0B", {K::SetWord, "audiomute", 0, "ON"}},
    {"C0C", {K::SetWord, "audiomute", 0, "OFF"}},
    {"C0D", {K::SetWord, "videomute", 0, "ON"}},
    {"C0E", {K::SetWord, "videomute", 0, "OFF"}},
    {"C0F", {K::SetWord, "screen", 0, "NORMAL"}},
    {"C10", {K::SetWord, "screen", 0, "FULL"}},
    {"C11", {K::SetWord, "image", 0, "STAND"}},
    {"C12", {K::SetWord, "image", 0, "REAL"}},
    {"C13", {K::SetWord, "image", 0, "CINEMA"}},
    {"C14", {K::SetWord, "image", 0, "CUSTOM1"}},
    {"C15", {K::SetWord, "image", 0, "CUSTOM2"}},
    {"C16", {K::SetWord, "image", 0, "CUSTOM3"}},
    {"C17", {K::SetWord, "image", 0, "CUSTOM4"}},
    {"C18", {K::SetWord, "image", 0, "BLACKBOARD"}},
    {"C19", {K::SetWord, "image", 0, "DYNAMIC"}},
    {"C1C", {K::SetWord, "menu", 0, "ON"}},
    {"C1D", {K::SetWord, "menu", 0, "OFF"}},
    {"C1E", {K::SetWord, "menu", 0, "OFF"}},  // display clear takes the menu away
    {"C20", {K::Step, "brightness", +1}},
    {"C21", {K::Step, "brightness", -1}},
    {"C27", {K::CycleWord, "image", +1}},
    {"C28", {K::SetWord, "onstart", 0, "ON"}},
    {"C29", {K::SetWord, "onstart", 0, "OFF"}},
    {"C2A", {K::SetWord, "powermanage", 0, "READY"}},
    {"C2B", {K::SetWord, "powermanage", 0, "OFF"}},
    {"C2E", {K::SetWord, "powermanage", 0, "SHUTDOWN"}},
    {"C30", {K::Step, "dzoom", +1}},
    {"C31", {K::Step, "dzoom", -1}},
    {"C34", {K::SelectInput, {}, 5, "S-VIDEO"}},
    {"C39", {K::SetWord, "image", 0, "COLORBOARD"}},
    {"C43", {K::SetWord, "freeze", 0, "ON"}},
    {"C44", {K::SetWord, "freeze", 0, "OFF"}},
    {"C50", {K::SelectInput, {}, 1, "ANALOG"}},
    {"C51", {K::SelectInput, {}, 1, "SCART"}},
    {"C54", {K::SelectInput, {}, 1, "YPBPR"}},
    {"C8A", {K::SetWord, "ptimer", 0, "START"}},
    {"C8B", {K::SetWord, "ptimer", 0, "EXIT"}},
    {"C8E", {K::Step, "keystone", +1}},
    {"C8F", {K::Step, "keystone", -1}},
    {"CF POWER ON", {K::PowerOn}},
    {"CF POWER OFF", {K::PowerOff}},
    {"CF INPUT UP", {K::CycleInput, {}, +1}},
    {"CF INPUT DN", {K::CycleInput, {}, -1}},
    {"CF SOURCE UP", {K::CycleSource, {}, +1}},
    {"CF SOURCE DN", {K::CycleSource, {}, -1}},
    {"CF SCREEN DZOOM UP", {K::Step, "dzoom", +1}},
    {"CF SCREEN DZOOM DN", {K::Step, "dzoom", -1}},
    {"CF DZCENT CENT", {K::SetValue, "dzoom", 0}},
    {"CF KEYSTONE FUP", {K::Step, "keystone", +1}},
    {"CF KEYSTONE FDN", {K::Step, "keystone", -1}},
    {"CF KEYSTONE RST", {K::SetValue, "keystone", 0}},
    {"CF LAMPH RST", {K::ResetLampHours}},
    {"CF FILH RST", {K::ResetFilterHours}},
    {"CF FDEFAULT RST", {K::FactoryDefault}},
};

constexpr InputPort kInputs[] = {
    {1, "COMPUTER1", "ANALOG"},
    {2, "COMPUTER2", "ANALOG"},
    {3, "HDMI", "HDMI"},
    {4, "VIDEO", "VIDEO"},
    {5, "S-VIDEO", "S-VIDEO"},
};

constexpr FixedReply kFixedReplies[] = {
    {"CR IMGGMD", "000"},
    {"CR SYSLIST", "AUTO VGA1 XGA1 WXGA3"},
    {"CR HMLAMP", "1"},
    {"CR SECURITY", "OFF"},
    {"CR PJLOCKNOW", "OFF"},
    {"CR PJLOCKMENU", "OFF"},
};

struct SourceSignal {
    std::string_view source;
    std::string_view signal;
};

constexpr SourceSignal kDetectedSignals[] = {
    {"ANALOG", "XGA1"}, {"YPBPR", "720P"}, {"SCART", "PAL"},
    {"HDMI", "D-720P"}, {"VIDEO", "NTSC"}, {"S-VIDEO", "NTSC"},
};
// clang-format on

}  // namespace

std::span<const SteppedSetting> steppedSettings() { return kStepped; }
std::span<const WordSetting> wordSettings() { return kWords; }
std::span<const FixedCommand> fixedCommands() { return kFixed; }
std::span<const InputPort> inputPorts() { return kInputs; }
std::span<const FixedReply> fixedReplies() { return kFixedReplies; }

std::string_view sourceChoices() { return "ANALOG YPBPR S-VIDEO SCART HDMI VIDEO"; }

std::string_view detectedSignal(std::string_view source) {
    for (const SourceSignal& s : kDetectedSignals) {
        if (s.source == source) return s.signal;
    }
    return "XGA1";
}

const SteppedSetting* findStepped(std::string_view name) {
    for (const SteppedSetting& s : kStepped) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const WordSetting* findWord(std::string_view name) {
    for (const WordSetting& s : kWords) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

}  // namespace zelt::emulator
