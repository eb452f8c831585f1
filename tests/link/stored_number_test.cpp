#include <gtest/gtest.h>

#include "link/stored_number.h"

namespace zelt {
namespace {

struct PortCase {
    const char* stored;
    std::optional<int16_t> expected;
};

TEST(StoredNumber, PortTextsReadByTheLeadingNumberRule) {
    const PortCase cases[] = {
        {"15", 15},      {"16", 16},     {"0", 0},        {"-2", -2},     {"99999", std::nullopt},
        {"COM3", 0},     {"", 0},        {" 3", 3},       {"3COM", 3},    {"2.5", 2},
        {"3.5", 4},      {"DATAC", 0},   {"DATAb", 0},    {"+7", 7},      {"   12  ", 12},
        {"32767", 32767}, {"32768", std::nullopt}, {"-32768", -32768}, {"-32769", std::nullopt},
        {"32767.4", 32767}, {"32767.5", std::nullopt}, {"4.4999", 4}, {"-2.5", -2}, {"-0.4", 0},
        {".5", 0},       {"1.5", 2},     {"0.5", 0},      {"-", 0},       {"+", 0},
        {"3 4", 3},      {"\t3", 0},     {"3e2", 3},      {"1.2.3", 1},   {"00012", 12},
        {"99999999999999999999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readPortNumber(c.stored), c.expected) << "stored text \"" << c.stored << "\"";
    }
}

TEST(StoredNumber, SpeedTextsGive9600OnlyForExactly96) {
    const std::pair<const char*, uint8_t> cases[] = {
        {"96", 96},   {"192", 192}, {"9600", 192}, {"0", 192},     {"300", 192}, {"DATAb", 192},
        {"", 192},    {" 96", 96},  {"96.4", 96},  {"95.5", 96},   {"96.5", 96}, {"96.6", 192},
        {"96bps", 96}, {"-96", 192}, {"1e400", 192}, {"99999999999999999999999", 192},
    };
    for (const auto& [stored, code] : cases) {
        EXPECT_EQ(readBaudCode(stored), code) << "stored text \"" << stored << "\"";
    }
}

TEST(StoredNumber, SettingsStringFollowsTheSpeedCode) {
    EXPECT_STREQ(settingsStringFor(96), "9600,N,8,1");
    EXPECT_STREQ(settingsStringFor(192), "19200,N,8,1");
    EXPECT_STREQ(settingsStringFor(0), "19200,N,8,1");
}

}  // namespace
}  // namespace zelt
