#include "panel/button_table.h"

#include "link/status_queries.h"

namespace zelt {

namespace {

// Every push button of the main window. Arrow buttons show a picture and repeat while held; their
// commands come from the repeat table by their key. Laid out by hand, one row a button.
// clang-format off
constexpr ButtonRow kButtons[] = {
    {"Command17", "On", "Frame1", 180, 600, 615, 300, Face::LightGreen, Action::Send, "C00", 0, Arrow::None},
    {"Command18", "Off", "Frame1", 180, 1080, 615, 300, Face::LightRed, Action::Send, "C01", 0, Arrow::None},
    {"Command28", "Analog RGB", "Frame2", 120, 480, 1300, 300, Face::Teal, Action::Send, "C50", 0, Arrow::None},
    {"Command53", "Component", "Frame2", 120, 840, 1300, 300, Face::Teal, Action::Send, "C54", 0, Arrow::None},
    {"Command29", "Scart", "Frame2", 120, 1200, 1300, 300, Face::Teal, Action::Send, "C51", 0, Arrow::None},
    {"Command11", "Analog RGB", "Frame8", 243, 360, 1300, 300, Face::Teal, Action::Send, "C06", 0, Arrow::None},
    {"Command39", "HDMI", "Frame12", 200, 360, 1300, 300, Face::Teal, Action::Send, "C04", 0, Arrow::None},
    {"Command12", "Video", "Frame11", 243, 360, 1300, 300, Face::Teal, Action::Send, "C07", 0, Arrow::None},
    {"Command27", "S-VIDEO", "Frame18", 240, 360, 1300, 300, Face::Teal, Action::Send, "C34", 0, Arrow::None},
    {"Command32", "Full", "Frame5", 120, 500, 1300, 300, Face::Teal, Action::Send, "C10", 0, Arrow::None},
    {"Command31", "Normal", "Frame5", 120, 1080, 1300, 300, Face::Teal, Action::Send, "C0F", 0, Arrow::None},
    {"Command71", "Ready", "Frame14", 120, 500, 1460, 300, Face::Teal, Action::Send, "C2A", 0, Arrow::None},
    {"Command72", "Off", "Frame14", 120, 900, 1460, 300, Face::Teal, Action::Send, "C2B", 0, Arrow::None},
    {"Command56", "Shut down", "Frame14", 120, 1300, 1460, 300, Face::Teal, Action::Send, "C2E", 0, Arrow::None},
    {"Command19", "On", "Frame3", 120, 360, 800, 300, Face::LightGreen, Action::Send, "C0B", 0, Arrow::None},
    {"Command20", "Off", "Frame3", 1015, 360, 800, 300, Face::LightRed, Action::Send, "C0C", 0, Arrow::None},
    {"Command21", "On", "Frame4", 120, 360, 800, 300, Face::LightGreen, Action::Send, "C0D", 0, Arrow::None},
    {"Command22", "Off", "Frame4", 1015, 360, 800, 300, Face::LightRed, Action::Send, "C0E", 0, Arrow::None},
    {"Command25", "On", "Frame7", 120, 360, 800, 300, Face::LightGreen, Action::Send, "C43", 0, Arrow::None},
    {"Command26", "Off", "Frame7", 1015, 360, 800, 300, Face::LightRed, Action::Send, "C44", 0, Arrow::None},
    {"Command69", "Enable", "Frame13", 120, 360, 800, 300, Face::LightGreen, Action::Send, "C28", 0, Arrow::None},
    {"Command70", "Disable", "Frame13", 1040, 360, 800, 300, Face::LightRed, Action::Send, "C29", 0, Arrow::None},
    {"Command68", "Normal", "Frame21", 120, 600, 1460, 300, Face::Teal, Action::Send, "CF LAMPMODE NORMAL", 0, Arrow::None},
    {"Command75", "Eco", "Frame21", 120, 1200, 1460, 300, Face::Teal, Action::Send, "CF LAMPMODE ECO", 0, Arrow::None},
    {"Command23", "On", "Frame6", 120, 360, 750, 300, Face::LightGreen, Action::Send, "C1C", 0, Arrow::None},
    {"Command5", "", "Frame6", 1440, 360, 735, 300, Face::LightYellow, Action::Hold, "", 3, Arrow::Up},
    {"Command24", "Off", "Frame6", 120, 840, 750, 300, Face::LightRed, Action::Send, "C1D", 0, Arrow::None},
    {"Command38", "", "Frame6", 990, 840, 735, 300, Face::LightYellow, Action::Hold, "", 5, Arrow::Left},
    {"Command8", "", "Frame6", 1845, 840, 735, 300, Face::LightYellow, Action::Hold, "", 6, Arrow::Right},
    {"Command6", "Enter", "Frame6", 120, 1320, 750, 300, Face::LightOrange, Action::Send, "C3F", 0, Arrow::None},
    {"Command7", "", "Frame6", 1440, 1320, 735, 300, Face::LightYellow, Action::Hold, "", 4, Arrow::Down},
    {"Command1", "", "Frame19", 120, 360, 990, 255, Face::LightYellow, Action::Hold, "", 1, Arrow::Up},
    {"Command2", "", "Frame19", 120, 720, 990, 255, Face::LightYellow, Action::Hold, "", 2, Arrow::Down},
    {"Command30", "", "Frame17", 120, 360, 990, 255, Face::LightYellow, Action::Hold, "", 7, Arrow::Up},
    {"Command42", "", "Frame17", 120, 720, 990, 255, Face::LightYellow, Action::Hold, "", 8, Arrow::Down},
    {"Command48", "", "Frame16", 120, 360, 990, 255, Face::LightYellow, Action::Hold, "", 9, Arrow::Up},
    {"Command49", "", "Frame16", 120, 720, 990, 255, Face::LightYellow, Action::Hold, "", 10, Arrow::Down},
    {"Command10", "", "Frame10", 120, 360, 990, 255, Face::LightYellow, Action::Hold, "", 11, Arrow::Up},
    {"Command35", "", "Frame10", 120, 720, 990, 255, Face::LightYellow, Action::Hold, "", 12, Arrow::Down},
    {"Command60", "NONE", "Frame20", 1560, 150, 1095, 300, Face::Teal, Action::Send, "CF KEYDIS NONE", 0, Arrow::None},
    {"Command61", "R/C", "Frame20", 2760, 150, 1095, 300, Face::Teal, Action::Send, "CF KEYDIS RC", 0, Arrow::None},
    {"Command62", "KEY", "Frame20", 3990, 150, 1095, 300, Face::Teal, Action::Send, "CF KEYDIS KEY", 0, Arrow::None},
    {"Command4", "Standard", nullptr, 2940, 3600, 1095, 300, Face::Teal, Action::Send, "C11", 0, Arrow::None},
    {"Command50", "Image 1", nullptr, 2940, 3910, 1095, 300, Face::Teal, Action::Send, "C14", 0, Arrow::None},
    {"Command57", "Image 4", nullptr, 2940, 4230, 1095, 300, Face::Teal, Action::Send, "C17", 0, Arrow::None},
    {"Command36", "Real", nullptr, 4050, 3600, 1095, 300, Face::Teal, Action::Send, "C12", 0, Arrow::None},
    {"Command51", "Image 2", nullptr, 4050, 3910, 1095, 300, Face::Teal, Action::Send, "C15", 0, Arrow::None},
    {"Command58", "B.Board", nullptr, 4050, 4230, 1095, 300, Face::Teal, Action::Send, "C18", 0, Arrow::None},
    {"Command37", "Cinema", nullptr, 5160, 3600, 1095, 300, Face::Teal, Action::Send, "C13", 0, Arrow::None},
    {"Command52", "Image 3", nullptr, 5160, 3910, 1095, 300, Face::Teal, Action::Send, "C16", 0, Arrow::None},
    {"Command59", "Dynamic", nullptr, 5160, 4230, 1095, 300, Face::Teal, Action::Send, "C19", 0, Arrow::None},
    {"Command3", "Display Clear", nullptr, 6480, 3600, 1740, 300, Face::Teal, Action::Send, "C1E", 0, Arrow::None},
    {"Command73", "Image (Toggle)", nullptr, 6450, 3910, 1740, 300, Face::Teal, Action::Send, "C27", 0, Arrow::None},
    {"Command15", "Image Colorboard", nullptr, 6450, 4230, 1740, 300, Face::Teal, Action::Send, "C39", 0, Arrow::None},
    {"Command13", "Auto Pc Adj", nullptr, 8200, 3600, 1830, 300, Face::Teal, Action::Send, "C89", 0, Arrow::None},
    {"Command14", "P-Timer", nullptr, 8200, 3910, 1830, 300, Face::Teal, Action::Send, "C8A", 0, Arrow::None},
    {"Command34", "P-Timer (Exit)", nullptr, 8200, 4230, 1830, 300, Face::Teal, Action::Send, "C8B", 0, Arrow::None},
    {"Command74", "Command Table", nullptr, 6480, 6660, 1850, 375, Face::System, Action::CommandTable, "", 0, Arrow::None},
    {"Command33", "COM", nullptr, 6480, 7080, 1850, 375, Face::System, Action::Com, "", 0, Arrow::None},
    {"Command16", "END", nullptr, 8520, 4680, 1500, 375, Face::System, Action::End, "", 0, Arrow::None},
    {"Command44", "Status", nullptr, 8520, 5380, 1500, 300, Face::LightCyan, Action::Send, kStatusQuery, 0, Arrow::None},
    {"Command45", "Input Mode", nullptr, 8520, 5680, 1500, 300, Face::LightCyan, Action::Send, kInputModeQuery, 0, Arrow::None},
    {"Command54", "Temp", nullptr, 8520, 5980, 1500, 300, Face::LightCyan, Action::Send, kTempQuery, 0, Arrow::None},
    {"Command47", "Setting", nullptr, 8520, 6280, 1500, 300, Face::LightCyan, Action::Send, kSettingQuery, 0, Arrow::None},
    {"Command46", "Lamp Time", nullptr, 8520, 6580, 1500, 300, Face::LightCyan, Action::Send, kLampTimeQuery, 0, Arrow::None},
    {"Command55", "Lamp Status", nullptr, 8520, 6880, 1500, 300, Face::LightCyan, Action::Send, kLampStatusQuery, 0, Arrow::None},
    {"Command76", "Lamp Mode", nullptr, 8520, 7180, 1500, 300, Face::LightCyan, Action::Send, kLampModeQuery, 0, Arrow::None},
};

// Headings sit at the top left of their frame, above the frame's first row of buttons; the
// "R/C Key Off" frame is one row high, so its heading stands left of its buttons.
constexpr FrameRow kFrames[] = {
    {"Frame1", 120, 0, 975, 1520, {{"Label1", "Power", 120, 200, 735, 255}, {}}},
    {"Frame2", 1200, 0, 1620, 1575, {{"Label2", "Computer 1", 120, 150, 1380, 255}, {}}},
    {"Frame8", 2880, 0, 1785, 735, {{"Label15", "Computer 2", 243, 75, 1300, 255}, {}}},
    {"Frame12", 2880, 840, 1785, 735, {{"Label21", "HDMI", 200, 75, 1300, 255}, {}}},
    {"Frame11", 4725, 0, 1785, 735, {{"Label19", "Video", 243, 75, 1300, 255}, {}}},
    {"Frame18", 4725, 840, 1785, 735, {{"Label22", "S-VIDEO", 240, 75, 1300, 255}, {}}},
    {"Frame5", 6600, 0, 1650, 1575, {{"Label6", "Screen", 120, 150, 1380, 255}, {}}},
    {"Frame14", 8340, 0, 1700, 1740, {{"Label24", "Power", 120, 60, 1460, 225}, {"Label20", "Management", 120, 250, 1460, 225}}},
    {"Frame3", 120, 1600, 1935, 732, {{"Label4", "Audio Mute", 120, 75, 1695, 255}, {}}},
    {"Frame4", 2173, 1600, 1935, 732, {{"Label5", "Video Mute", 120, 75, 1695, 255}, {}}},
    {"Frame7", 4226, 1600, 1935, 732, {{"Label8", "Freeze", 120, 75, 1695, 255}, {}}},
    {"Frame13", 6279, 1600, 1935, 732, {{"Label23", "On Start", 120, 75, 1695, 255}, {}}},
    {"Frame21", 8340, 1850, 1700, 1645, {{"Label18", "Lamp Mode", 120, 200, 1460, 255}, {}}},
    {"Frame6", 120, 2400, 2700, 1935, {{"Label7", "Menu", 120, 75, 1200, 255}, {}}},
    {"Frame19", 2940, 2400, 1230, 1095, {{"Label3", "Volume", 120, 75, 990, 255}, {}}},
    {"Frame17", 4290, 2400, 1230, 1095, {{"Label16", "Bright", 120, 75, 990, 255}, {}}},
    {"Frame16", 5640, 2400, 1230, 1095, {{"Label17", "D.Zoom", 120, 75, 990, 255}, {}}},
    {"Frame10", 6990, 2400, 1230, 1095, {{"Label13", "Keystone", 120, 75, 990, 255}, {}}},
    {"Frame20", 2940, 4600, 5240, 555, {{"Label14", "R/C Key Off", 120, 180, 1380, 255}, {}}},
    {"Frame9", 120, 5400, 8295, 948, {{"Label9", "TxD", 120, 240, 372, 252}, {"Label10", "RxD", 120, 612, 372, 180}}},
    {"Frame15", 120, 6840, 6105, 492, {{"Label26", "Status", 120, 210, 855, 180}, {}}},
};
// clang-format on

}  // namespace

std::span<const ButtonRow> buttonTable() { return kButtons; }
std::span<const FrameRow> frameTable() { return kFrames; }

QColor faceColor(Face face) {
    switch (face) {
    case Face::LightGreen: return QColor(128, 255, 128);
    case Face::LightRed: return QColor(255, 128, 128);
    case Face::Teal: return QColor(0, 192, 192);
    case Face::LightYellow: return QColor(255, 255, 128);
    case Face::LightCyan: return QColor(192, 255, 255);
    case Face::LightOrange: return QColor(255, 192, 128);
    case Face::System: break;
    }
    return QColor();
}

}  // namespace zelt
