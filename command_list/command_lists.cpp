#include "command_list/command_lists.h"

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace zelt {
namespace {

// The spelling, blanks and tabs of every text below are the projector's own, as shown to the
// operator; misspellings included. Do not tidy them. They are laid out by hand, line by line.
// clang-format off

// --- Basic list: each item whole, command text, "[CR]", five blanks and a label. ---

constexpr std::string_view kBasicList[] = {
    "C00[CR]     POWER ON",
    "C01[CR]     POWER OFF(Quick Power OFF)",
    "C02[CR]     POWER OFF",
    "C04[CR]     HDMI",
    "C05[CR]     Computer 1",
    "C06[CR]     Computer 2",
    "C07[CR]     Video",
    "C09[CR]     VOLUME +",
    "C0A[CR]     VOLUME -",
    "C0B[CR]     AUDIO MUTE ON",
    "C0C[CR]     AUDIO MUTE OFF",
    "C0D[CR]     VIDEO MUTE ON",
    "C0E[CR]     VIDEO MUTE OFF",
    "C0F[CR]     Screen Normal size(4:3)",
    "C10[CR]     Screen Full size",
    "C11[CR]     Image Standard",
    "C12[CR]     Image Real",
    "C13[CR]     Image Cinema",
    "C14[CR]     Image 1",
    "C15[CR]     Image 2",
    "C16[CR]     Image 3",
    "C17[CR]     Image 4",
    "C18[CR]     Image Blackboard",
    "C19[CR]     Image Dynamic",
    "C1C[CR]     MENU ON",
    "C1D[CR]     MENU OFF",
    "C1E[CR]     DISPLAY CLEAR",
    "C20[CR]     BRIGHTNESS +",
    "C21[CR]     BRIGHTNESS -",
    "C27[CR]     IMAGE(Toggle)",
    "C28[CR]     Direct on Enable",
    "C29[CR]     Direct on Disable",
    "C2A[CR]     Power Management Ready",
    "C2B[CR]     Power Management OFF",
    "C2E[CR]     Power Management Shut down",
    "C30[CR]     D.Zoom +",
    "C31[CR]     D.Zoom -",
    "C34[CR]     S-video",
    "C39[CR]     Image Colorboard",
    "C3A[CR]     POINTER RIGHT",
    "C3B[CR]     POINTER LEFT",
    "C3C[CR]     POINTER UP",
    "C3D[CR]     POINTER DOWN",
    "C3F[CR]     ENTER",
    "C43[CR]     FREEZE ON",
    "C44[CR]     FREEZE OFF",
    "C50[CR]     Computer 1 Analog RGB",
    "C51[CR]     Computer 1 Scart",
    "C54[CR]     Computer 1 Component",
    "C89[CR]     Auto PC ADJ.",
    "C8A[CR]     PRESENTATION TIMER",
    "C8B[CR]     PRESENTATION TIMER(Exit)",
    "C8E[CR]     KEYSTONE UP",
    "C8F[CR]     KEYSTONE DOWN",
    "CR0[CR]     Status Read",
    "CR1[CR]     Input Mode Read",
    "CR3[CR]     (Corresponding)Lamp Time Read",
    "CR4[CR]     Setting Read",
    "CR6[CR]     Temp Read",
    "CR7[CR]     Lamp Mode Read",
};

// Separators between "[CR]" and the ":" that opens a description.
constexpr std::string_view kOneBlank = " ";
constexpr std::string_view kOneBlankOneTab = " \t";
constexpr std::string_view kOneBlankTwoTabs = " \t\t";
constexpr std::string_view kTwoBlanks = "  ";
constexpr std::string_view kTwoBlanksOneTab = "  \t";
constexpr std::string_view kTwoBlanksTwoTabs = "  \t\t";
constexpr std::string_view kTwoTabs = "\t\t";

// --- Read list: every item carries its own description. ---

struct ReadItem {
    std::string_view command;
    std::string_view separator;
    std::string_view description;
};

// Most items use one blank and one tab; the rest a single blank.
constexpr std::string_view kBlankTab = kOneBlankOneTab;
constexpr std::string_view kBlankOnly = kOneBlank;

constexpr ReadItem kReadList[] = {
    {"CR BRIGHT", kBlankTab, "Get Brightness value"},
    {"CR CONT", kBlankTab, "Get Contrast value"},
    {"CR COLOR", kBlankTab, "Get Color value"},
    {"CR TINT", kBlankTab, "Get Tint valu"},
    {"CR SHARP", kBlankTab, "Get Sharpness value"},
    {"CR GAMMA", kBlankTab, "Get Gamma value"},
    {"CR WBAL-R", kBlankTab, "Get White Balance Red value"},
    {"CR WBAL-G", kBlankTab, "Get White Balance Green value"},
    {"CR WBAL-B", kBlankTab, "Get White Balance Blue value"},
    {"CR COLTEMP", kBlankTab, "Get setting Color of temperatue"},
    {"CR NZRED", kBlankTab, "Get setting status of Noise reduction"},
    {"CR PROGV", kBlankTab, "Get setting status of Progressive scan"},
    {"CR IMAGE", kBlankTab, "Get Selected image status"},
    {"CR COLBOARD", kBlankOnly, "Get Selected Colorboard mode"},
    {"CR IMGGMD", kBlankTab, "Get setting value of image Gamma"},
    {"CR FSYNC", kBlankTab, "Get setting value of Fine Sync"},
    {"CR TDOTS", kBlankTab, "Get setting value of Total Dots"},
    {"CR CLAMP", kBlankTab, "Get setting value of Clamp"},
    {"CR H-POS", kBlankTab, "Get setting value of Horizontal Position"},
    {"CR V-POS", kBlankTab, "Get setting value of Vertical Position"},
    {"CR DDOTS", kBlankTab, "Get setting value of Display Dots"},
    {"CR DLINE", kBlankTab, "Get setting value of Display Line"},
    {"CR PCSTORE", kBlankTab, "Get Free or Stored status for PC Adj.mode1-5"},
    {"CR SERSYS", kBlankTab,
     "Get selected current signal. When in Auto mode, it returns a result by Auto detect"},
    {"CR INPUT", kBlankTab, "Get selected Input No."},
    {"CR SOURCE", kBlankTab, "Get selected source of currently selected input"},
    {"CR SRCINP1", kBlankTab, "Get selected source of Computer1"},
    {"CR SRCINP2", kBlankTab, "Get selected source of Computer2"},
    {"CR SRCINP3", kBlankTab, "Get selected source of Computer3"},
    {"CR SRCINP4", kBlankTab, "Get selected source of Computer4"},
    {"CR SRCINP5", kBlankTab, "Get selected source of Computer5"},
    {"CR SYSTEM", kBlankTab, "Get selected system status in input mode"},
    {"CR SYSLIST", kBlankTab, "Get selectable System table"},
    {"CR MODELIST", kBlankOnly, "Get selectable Mode table"},
    {"CR SCREEN", kBlankTab, "Get selected screen size"},
    {"CR KYSTNMODE", kBlankOnly, "Get setting status of Keystone Store mode"},
    {"CR VSCALE", kBlankTab, "Get setting status of Vertical Scale"},
    {"CR VPOS", kBlankTab, "Get setting status of Vertical Position"},
    {"CR HSCALE", kBlankTab, "Get setting status of Horizontal Scale"},
    {"CR HPOS", kBlankTab, "Get setting status of Horizontal Position"},
    {"CR LAMPREPL", kBlankOnly, "Get the information for Lamp replacement time"},
    {"CR LAMPH", kBlankTab, "Get lamp total running time"},
    {"CR LAMPCORRESPH", kBlankOnly, "Get corresponding lamp use time"},
    {"CR LAMPMODE", kBlankOnly, "Get Lamp Mode status"},
    {"CR LAMPSTS", kBlankTab, "Get lamp lighting status"},
    {"CR PROJH", kBlankTab, "Get projector running time"},
    {"CR HMLAMP", kBlankTab, "Get lamp number"},
    {"CR VOLUME", kBlankTab, "Get Volume value"},
    {"CR MUTE", kBlankTab, "Get Sound Mute setting status"},
    {"CR LANG", kBlankTab, "Get selected language"},
    {"CR AUTOSETUPPCADJ", kBlankOnly, "Get setting status of Auto PC in Auto setup"},
    {"CR INPUTSEARCH", kBlankOnly, "Get setting status of Input search"},
    {"CR BACKGND", kBlankTab, "Get setting status screen mode for the case of no signal"},
    {"CR DISP", kBlankTab, "Get setting status of Display"},
    {"CR LOGO", kBlankTab, "GET setting status of Logo"},
    {"CR CEIL", kBlankTab, "Get setting status of Ceiling"},
    {"CR REAR", kBlankTab, "Get setting status of Rear"},
    {"CR SCREENASPECT", kBlankOnly, "Get setting status of Screen aspect"},
    {"CR HDMISETUP", kBlankOnly, "Get setting status of HDMI setup"},
    {"CR HDMISETUPSOUND", kBlankOnly, "Get setting status of HDMI setup sound"},
    {"CR TERMINAL", kBlankOnly, "Get setting status of Terminal"},
    {"CR STANDBYMODE", kBlankOnly, "Get setting status of Standby Mode"},
    {"CR P-MANE", kBlankTab, "Get setting status of Power management"},
    {"CR P-MANETIME", kBlankOnly, "Get setting time for Power management"},
    {"CR ON-STA", kBlankTab, "Get setting status of ON Start"},
    {"CR PTIMEMODE", kBlankOnly, "Get setting mode of P-timer"},
    {"CR PTIMER", kBlankTab, "Get status of P-timer"},
    {"CR PTIME", kBlankTab, "Get setting time for count down mode in P-timer"},
    {"CR CCAPTIONDISP", kBlankOnly, "Get setting status of channel of Closed caption"},
    {"CR CCAPTIONCOLOR", kBlankOnly, "Get setting status of color of Closed caption"},
    {"CR RCODE", kBlankTab, "Get selsected Remote Control Code"},
    {"CR SECURITY", kBlankOnly, "Get setting status of Security"},
    {"CR KEYDIS", kBlankTab, "Get RC/KEY disability status"},
    {"CR PJLOCKNOW", kBlankOnly, "Get if PJ Lock is actually in operation"},
    {"CR PJLOCKMENU", kBlankOnly, "Get setting status of PJ Lock on Menu"},
    {"CR FANMODE", kBlankTab, "Get selected Fan mode"},
    {"CR FANCONTROL", kBlankOnly, "Get selected Fan Control Mode"},
    {"CR DELAYCTRL", kBlankOnly, "Get selected Status of Video delay Control"},
    {"CR FILH", kBlankTab, "Get Filter used time"},
    {"CR FILREPL", kBlankTab, "Get the information for Filter replacement time"},
    {"CR FILTIMER", kBlankOnly, "Get time when Filter warning OSD is displayed"},
    {"CR STATUS", kBlankTab, "Get setting status of Projector behavior"},
    {"CR SIGNAL", kBlankTab, "Get Signal Status if there is a signal or not"},
    {"CR VMUTE", kBlankTab, "Get setting status of No Show"},
    {"CR FREEZE", kBlankTab, "Get setting status of Freeze"},
    {"CR TEMPWARN", kBlankOnly, "Get if temperature is close to abnomal temperature"},
    {"CR TEMP", kBlankTab, "Get current temperature atatus"},
    // The trailing blank belongs to the item.
    {"CR TEMPFAIL", kBlankOnly, "Get temperature when sensors approach abnomal temperature "},
};

// --- Expanded list: one entry per run of related commands. ---

// Descriptions carried by the first item of each run; the other items of a run end right after
// "[CR]". A run without a description consists of bare items only.
struct Run {
    std::string_view description;
    std::string_view separator;
    std::initializer_list<std::string_view> commands;
};

constexpr std::string_view kNoDescription = {};
constexpr std::string_view kDigits = "% = 0-9";  // the legend of runs whose commands take digits
constexpr std::string_view kStd = kTwoBlanksTwoTabs;  // the separator of most runs

// A function-local table: its lists of commands are built at run time, so this way it is complete
// before anything reads it, whatever the order of static initialisation.
std::span<const Run> expandedRuns() {
    static const Run runs[] = {
        {"Set Brightness value", kStd, {"CF BRIGHT UP", "CF BRIGHT DN"}},
        {kDigits, kStd, {"CF BRIGHT 0%%"}},
        {"Set Contrast value", kStd, {"CF CONT UP", "CF CONT DN"}},
        {kDigits, kStd, {"CF CONT 0%%"}},
        {"Set Color value", kStd, {"CF COLOR UP", "CF COLOR DN"}},
        {kDigits, kStd, {"CF COLOR 0%%"}},
        {"Set Tint value", kStd, {"CF TINT UP", "CF TINT DN"}},
        {kDigits, kStd, {"CF TINT 0%%"}},
        {"Set Sharpness value", kStd, {"CF SHARP UP", "CF SHARP DN"}},
        {kDigits, kStd, {"CF SHARP 0%%"}},
        {"Set Gamma value", kStd, {"CF GAMMA UP", "CF GAMMA DN"}},
        {kDigits, kStd, {"CF GAMMA 0%%"}},
        {"Set White Balance Red value", kStd, {"CF WBAL-R UP", "CF WBAL-R DN"}},
        {kDigits, kStd, {"CF WBAL-R 0%%"}},
        {"Set White Balance Green value", kStd, {"CF WBAL-G UP", "CF WBAL-G DN"}},
        {kDigits, kStd, {"CF WBAL-G 0%%"}},
        {"Set White Balance Blue value", kStd, {"CF WBAL-B UP", "CF WBAL-B DN"}},
        {kDigits, kStd, {"CF WBAL-B 0%%"}},
        {"Set Color Temp. value", kStd,
         {"CF COLTEMP 000", "CF COLTEMP 001", "CF COLTEMP 002", "CF COLTEMP 003"}},
        {"Set/Cancel Progressive Scan", kStd,
         {"CF PROGV FILM", "CF PROGV L1", "CF PROGV L2", "CF PROGV OFF", "CF PROGV UP",
          "CF PROGV DN"}},
        {"Set/Cancel Noise reduction", kStd,
         {"CF NZRED OFF", "CF NZRED L1", "CF NZRED L2", "CF NZRED UP", "CF NZRED DN"}},
        {"Set Image mode", kStd,
         {"CF IMAGE DYNAMIC", "CF IMAGE STAND", "CF IMAGE REAL", "CF IMAGE CINEMA",
          "CF IMAGE BLACKBOARD", "CF IMAGE COLORBOARD", "CF IMAGE CUSTOM1", "CF IMAGE CUSTOM2",
          "CF IMAGE CUSTOM3", "CF IMAGE CUSTOM4"}},
        {"Set Colorboard mode", kStd,
         {"CF COLBOARD RED", "CF COLBOARD BLUE", "CF COLBOARD YELLOW", "CF COLBOARD GREEN"}},
        {"Reset/Store for image adjustment", kStd,
         {"CF IMAGEADJ RST", "CF IMAGEADJ STR1", "CF IMAGEADJ STR2", "CF IMAGEADJ STR3",
          "CF IMAGEADJ STR4"}},
        {"Set Fine Sync value", kStd, {"CF FSYNC UP", "CF FSYNC DN"}},
        {kDigits, kStd, {"CF FSYNC 00%%"}},
        {"Set Total Dots value", kStd, {"CF TDOTS UP", "CF TDOTS DN"}},
        {kDigits, kStd, {"CF TDOTS %%%%"}},
        {"Set Clamp Value", kStd, {"CF CLAMP UP", "CF CLAMP DN"}},
        {kDigits, kStd, {"CF CLAMP %%%%"}},
        {"Set Horizonetal Position value", kStd, {"CF H-POS UP", "CF H-POS DN"}},
        {kDigits, kStd, {"CF H-POS %%%%"}},
        {"Set Vertical Position value", kStd, {"CF V-POS UP", "CF V-POS DN"}},
        {kDigits, kStd, {"CF V-POS %%%%"}},
        {"Set Display Dots value", kStd, {"CF DDOTS UP", "CF DDOTS DN"}},
        {kDigits, kStd, {"CF DDOTS %%%%"}},
        {"Set Display Line value", kStd, {"CF DLINE UP", "CF DLINE DN"}},
        {kDigits, kStd, {"CF DLINE %%%%"}},
        {"Store current values of PC Adjust at Mode 1-5", kStd,
         {"CF PCSTORE MODE1", "CF PCSTORE MODE2", "CF PCSTORE MODE3", "CF PCSTORE MODE4",
          "CF PCSTORE MODE5", "CF PCSTORE MODE6", "CF PCSTORE MODE7", "CF PCSTORE MODE8",
          "CF PCSTORE MODE9", "CF PCSTORE MODE10"}},
        {"Relese registered values of Mode 1-5", kTwoBlanksOneTab,
         {"CF PCMODEFREE MODE1", "CF PCMODEFREE MODE2", "CF PCMODEFREE MODE3",
          "CF PCMODEFREE MODE4", "CF PCMODEFREE MODE5", "CF PCMODEFREE MODE6",
          "CF PCMODEFREE MODE7", "CF PCMODEFREE MODE8", "CF PCMODEFREE MODE9",
          "CF PCMODEFREE MODE10"}},
        {"Select Input", kTwoBlanks,
         {"CF INPUT COMPUTER1", "CF INPUT COMPUTER2", "CF INPUT HDMI", "CF INPUT VIDEO",
          "CF INPUT S-VIDEO", "CF INPUT UP", "CF INPUT DN"}},
        {"Select Input Source", kTwoBlanksOneTab,
         {"CF SOURCE ANALOG", "CF SOURCE YPBPR", "CF SOURCE S-VIDEO", "CF SOURCE SCART",
          "CF SOURCE HDMI", "CF SOURCE VIDEO", "CF SOURCE UP", "CF SOURCE DN"}},
        // "%1" in these five descriptions is plain text, not a parameter mark.
        {"Select Input11 and also set input source to %1", kTwoBlanksOneTab,
         {"CF INPUT1 ANALOG", "CF INPUT1 YPBPR", "CF INPUT1 SCART"}},
        {"Select Input12 and also set input source to %1", kTwoBlanksOneTab, {"CF INPUT2 ANALOG"}},
        {"Select Input13 and also set input source to %1", kTwoBlanksOneTab, {"CF INPUT3 HDMI"}},
        {"Select Input14 and also set input source to %1", kTwoBlanksOneTab, {"CF INPUT4 VIDEO"}},
        {"Select Input15 and also set input source to %1", kTwoBlanksOneTab, {"CF INPUT5 S-VIDEO"}},
        {"Select Input and Source", kTwoBlanksOneTab,
         {"CF INPUT COMPUTER1 ANALOG", "CF INPUT COMPUTER1 YPBPR", "CF INPUT COMPUTER1 SCART",
          "CF INPUT COMPUTER2 ANALOG", "CF INPUT HDMI HDMI", "CF INPUT VIDEO VIDEO",
          "CF INPUT S-VIDEO S-VIDEO"}},
        {"Select System", kStd,
         {"CF SYSTEM VGA1", "CF SYSTEM XGA1", "CF SYSTEM WXGA3", "CF SYSTEM AUTO",
          "CF SYSTEM NTSC", "CF SYSTEM NTSC443", "CF SYSTEM PAL", "CF SYSTEM SECAM",
          "CF SYSTEM PAL-M", "CF SYSTEM PAL-N", "CF SYSTEM 1080I", "CF SYSTEM 1035I",
          "CF SYSTEM 720P", "CF SYSTEM 575P", "CF SYSTEM 480P", "CF SYSTEM 575I",
          "CF SYSTEM 480I", "CF SYSTEM D-XGA1", "CF SYSTEM D-WXGA3", "CF SYSTEM D-1080I",
          "CF SYSTEM D-1035I", "CF SYSTEM D-720P", "CF SYSTEM D-575P", "CF SYSTEM D-480P"}},
        {"Select Screen size", kStd,
         {"CF SCREEN NORMAL", "CF SCREEN TRUE", "CF SCREEN FULL", "CF SCREEN WIDE",
          "CF SCREEN ZOOM", "CF SCREEN CUSTOM", "CF SCREEN NATURAL", "CF SCREEN DZOOM UP",
          "CF SCREEN DZOOM DN", "CF SCREEN UP", "CF SCREEN DN"}},
        {"Cancel Digital Zoom mode", kStd, {"CF DZCENT CENT"}},
        {"Set Keystone", kStd,
         {"CF KEYSTONE UP", "CF KEYSTONE FUP", "CF KEYSTONE DN", "CF KEYSTONE FDN",
          "CF KEYSTONE RST"}},
        {"Set Keystone Store mode", kStd, {"CF KYSTNMODE STR", "CF KYSTNMODE RST"}},
        {"Set value of Vertical scale", kStd, {"CF VSCALE UP", "CF VSCALE DN"}},
        {kDigits, kStd, {"CF VSCALE %%%"}},
        {"Set value of Vertical position", kStd, {"CF VPOS UP", "CF VPOS DN"}},
        {kDigits, kStd, {"CF VPOS %%%"}},
        {"Set value of Horizontal scale", kStd, {"CF HSCALE UP", "CF HSCALE DN"}},
        {kDigits, kStd, {"CF HSCALE %%%"}},
        {"Set value of Horizontal position", kStd, {"CF HPOS UP", "CF HPOS DN"}},
        {kDigits, kStd, {"CF HPOS %%%"}},
        {"Reset Lamp use time", kStd, {"CF LAMPH RST"}},
        {"Select Lamp mode", kTwoTabs,
         {"CF LAMPMODE NORMAL", "CF LAMPMODE ECO", "CF LAMPMODE UP", "CF LAMPMODE DN"}},
        {"Set Volume value", kTwoBlanksOneTab, {"CF VOLUME UP", "CF VOLUME DN"}},
        {kDigits, kTwoBlanksOneTab, {"CF VOLUME 0%%"}},
        {"Control ON/OFF of Sound Mute", kTwoBlanksOneTab, {"CF MUTE ON", "CF MUTE OFF"}},
        // Eight blanks between the two phrases.
        {"Select English        Select language for OSD", kStd, {"CF LANG ENG"}},
        {"Select Geman", kStd, {"CF LANG DEU"}},
        {"Select French", kStd, {"CF LANG FRA"}},
        {"Select Italian", kStd, {"CF LANG ITA"}},
        {"Select Spanish", kStd, {"CF LANG ESP"}},
        {"Select Portuguese", kStd, {"CF LANG POR"}},
        {"Select Dutch", kStd, {"CF LANG NED"}},
        {"Select Swedish", kStd, {"CF LANG SVE"}},
        {"Select Russian", kStd, {"CF LANG RUS"}},
        {"Select Chinese", kStd, {"CF LANG CHI"}},
        {"Select Korean", kStd, {"CF LANG KOR"}},
        {"Select Japanese", kStd, {"CF LANG JPN"}},
        {"Select Finnish", kStd, {"CF LANG FIN"}},
        {"Select polish", kStd, {"CF LANG POL"}},
        {"Select Hungarian", kStd, {"CF LANG HUN"}},
        {"Select Romanian", kStd, {"CF LANG ROM"}},
        {"Select Thai", kStd, {"CF LANG THA"}},
        {"Select Turkish", kStd, {"CF LANG TUR"}},
        {"Select Kazakh", kStd, {"CF LANG KAZ"}},
        {"Select Vietnamese", kStd, {"CF LANG VIE"}},
        {"Move nenu position", kTwoBlanksOneTab, {"CF MENUPOSITION SET"}},
        {"Set Auto PC in Auto Setup", kTwoBlanksOneTab,
         {"CF AUTOSETUPPCADJ ON", "CF AUTOSETUPPCADJ OFF"}},
        {"Set up Input search function", kTwoBlanksOneTab,
         {"CF INPUTSEARCH OFF", "CF INPUTSEARCH ON1", "CF INPUTSEARCH ON2"}},
        {"Excute Auto Setup", kTwoBlanksOneTab, {"CF AUTOSETUP START"}},
        {"Set Screen mode for the case of no signal", kStd,
         {"CF BACKGND BLUE", "CF BACKGND USER", "CF BACKGND BLACK", "CF BACKGND UP",
          "CF BACKGND DN"}},
        {"Set Display function", kStd,
         {"CF DISP ON", "CF DISP CNTDWNOFF", "CF DISP OFF", "CF DISP UP", "CF DISP DN"}},
        // The marks stand inside these commands, not at their end.
        {"Set Logo function", kStd,
         {"CF LOGO %%%% OFF", "CF LOGO %%%% DFLT", "CF LOGO %%%% USER", "CF LOGO %%%% UP",
          "CF LOGO %%%% DN"}},
        {"Set Celling function", kStd, {"CF CEIL ON", "CF CEIL OFF"}},
        {"Set Rear function", kStd, {"CF REAR ON", "CF REAR OFF"}},
        {kNoDescription, {},
         {"CF SCREENASPECT 43MODE", "CF SCREENASPECT 169MODE", "CF SCREENASPECT 1610MODE",
          "CF HDMISETUP NORMAL", "CF HDMISETUP ENHANCED", "CF HDMISOUND HDMI",
          "CF HDMISOUND EXTERNAL"}},
        {"Set Terminal function", kOneBlankOneTab, {"CF TERMINAL COMPUTER", "CF TERMINAL MONITOR"}},
        {"Set Standby Mode", kTwoBlanksOneTab, {"CF STANDBYMODE ECO", "CF STANDBYMODE NORMAL"}},
        {"Set Power management function", kStd,
         {"CF P-MANE OFF", "CF P-MANE READY", "CF P-MANE SHUTDOWN", "CF P-MANE UP",
          "CF P-MANE DN"}},
        {"Set Power management time", kStd,
         {"CF P-MANETIME UP", "CF P-MANETIME DN", "CF P-MANETIME %%"}},
        {"Set Power ON Start function", kStd,
         {"CF ON-STA ON", "CF ON-STA OFF", "CF ON-STA UP", "CF ON-STA DN"}},
        {"Set count up/count down P-timer function", kOneBlankOneTab,
         {"CF PTIMEMODE COUNTUP", "CF PTIMEMODE COUNTDN"}},
        {"Set the status of P-timer", kOneBlankTwoTabs,
         {"CF PTIMER START", "CF PTIMER STOP", "CF PTIMER RESTART", "CF PTIMER RST",
          "CF PTIMER EXIT"}},
        {"Set Countdown timer for P-timer", kOneBlankTwoTabs, {"CF PTIME %%%"}},
        {"Set channel of Closed caption", kTwoBlanksOneTab,
         {"CF CCAPTIONDISP OFF", "CF CCAPTIONDISP CC1", "CF CCAPTIONDISP CC2",
          "CF CCAPTIONDISP CC3", "CF CCAPTIONDISP CC4"}},
        {"Set color of Closed caption", kTwoBlanksOneTab,
         {"CF CCAPTIONCOLOR COLOR", "CF CCAPTIONCOLOR WHITE"}},
        {"Select Remote Control Receptin Code", kStd,
         {"CF RCODE 001", "CF RCODE 002", "CF RCODE UP", "CF RCODE DN"}},
        {"Disable RC/Projector keys", kStd, {"CF KEYDIS NONE", "CF KEYDIS RC", "CF KEYDIS KEY"}},
        {"input PIN code release PJ Lock", kStd, {"CF PJPINCODE %%%%"}},
        {"Select Fan mode", kStd, {"CF FANMODE L1", "CF FANMODE L2"}},
        {"Select Fan control mode", kStd,
         {"CF FANCONTROL OFF", "CF FANCONTROL ON1", "CF FANCONTROL ON2"}},
        {"Set Video delay control", kStd, {"CF DELAYCTRL ON", "CF DELAYCTRL OFF"}},
        {"Set time when Filter warning OSD is displayed", kStd,
         {"CF FILTIMER 2000", "CF FILTIMER 3000", "CF FILTIMER 4000", "CF FILTIMER OFF",
          "CF FILTIMER UP", "CF FILTIMER DN"}},
        {"Reset Filter used time", kStd, {"CF FILH RST"}},
        // The trailing blank belongs to the item.
        {"Set the value to Factory Default ", kStd, {"CF FDEFAULT RST"}},
        {"Behave the same as corresponding key of projector top panel", kTwoBlanksOneTab,
         {"CF KEYEMU RIGHT", "CF KEYEMU LEFT", "CF KEYEMU UP", "CF KEYEMU DN", "CF KEYEMU SELECT",
          "CF KEYEMU AUTOPC"}},
        {"Switch ON/OFF of each Menu.", kTwoBlanksOneTab, {"CF MENU ON", "CF MENU OFF"}},
        {"Switch ON/OFF of Power.", kTwoBlanksOneTab, {"CF POWER ON", "CF POWER OFF"}},
        {"Set Freezefunction.", kTwoBlanksOneTab,
         {"CF FREEZE ON", "CF FREEZE OFF", "CF FREEZE UP", "CF FREEZE DN"}},
        {"Set No show function.", kTwoBlanksOneTab,
         {"CF VMUTE ON", "CF VMUTE OFF", "CF VMUTE UP", "CF VMUTE DN"}},
    };
    return runs;
}
// clang-format on

constexpr std::string_view kCr = "[CR]";

std::string itemText(std::string_view command, std::string_view separator, std::string_view description) {
    std::string text;
    text.reserve(command.size() + kCr.size() + separator.size() + 1 + description.size());
    text.append(command).append(kCr).append(separator).append(":").append(description);
    return text;
}

// Item texts built once, with views into them that live as long as the program.
class BuiltList {
public:
    explicit BuiltList(std::vector<std::string> texts)
        : texts_(std::move(texts)), views_(texts_.begin(), texts_.end()) {}
    BuiltList(const BuiltList&) = delete;
    BuiltList& operator=(const BuiltList&) = delete;

    std::span<const std::string_view> views() const { return views_; }

private:
    std::vector<std::string> texts_;
    std::vector<std::string_view> views_;  // after texts_, so built from the moved-in strings
};

std::vector<std::string> readItemTexts() {
    std::vector<std::string> texts;
    texts.reserve(std::size(kReadList));
    for (const ReadItem& item : kReadList) {
        texts.push_back(itemText(item.command, item.separator, item.description));
    }
    return texts;
}

std::vector<std::string> expandedItemTexts() {
    std::vector<std::string> texts;
    for (const Run& run : expandedRuns()) {
        bool first = true;
        for (std::string_view command : run.commands) {
            if (first && !run.description.empty()) {
                texts.push_back(itemText(command, run.separator, run.description));
            } else {
                texts.push_back(std::string(command).append(kCr));
            }
            first = false;
        }
    }
    return texts;
}

}  // namespace

std::span<const std::string_view> basicCommandList() { return kBasicList; }

std::span<const std::string_view> expandedCommandList() {
    static const BuiltList list(expandedItemTexts());
    return list.views();
}

std::span<const std::string_view> readCommandList() {
    static const BuiltList list(readItemTexts());
    return list.views();
}

std::string_view commandPart(std::string_view text) { return text.substr(0, text.find('[')); }

}  // namespace zelt
