#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/line/port_choice.h"
#include "platform/line/stored_number.h"

namespace zelt {
namespace {

struct PortCase {
    std::string stored;
    std::optional<int16_t> expected;
};

TEST(StoredNumber, PortTextsReadByTheLeadingNumberRule) {
    // clang-format off
    const PortCase cases[] = {
        {"15", 15},      {"16", 16},     {"0", 0},        {"-2", -2},     {"99999", std::nullopt},
        {"COM3", 0},     {"", 0},        {" 3", 3},       {"3COM", 3},    {"2.5", 2},
        {"3.5", 4},      {"DATAC", 0},   {"DATAb", 0},    {"+7", 7},      {"   12  ", 12},
        {"32767", 32767}, {"32768", std::nullopt}, {"-32768", -32768}, {"-32769", std::nullopt},
        {"32767.4", 32767}, {"32767.5", std::nullopt}, {"4.4999", 4}, {"-2.5", -2}, {"-0.4", 0},
        {".5", 0},       {"1.5", 2},     {"0.5", 0},      {"-", 0},       {"+", 0},
        {"3 4", 3},      {"\t3", 0},     {"3e2", 3},      {"1.2.3", 1},   {"00012", 12},
        {"99999999999999999999999999999999999", std::nullopt},
        // Past double's range: overflow stays out of range, underflow reads 0.
        {"1" + std::string(400, '0'), std::nullopt}, {"-1" + std::string(400, '0'), std::nullopt},
        {"0." + std::string(400, '0') + "1", 0}, {"-0." + std::string(400, '0') + "7", 0},
        {std::string(400, '0') + "7.5", 8},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(readPortNumber(c.stored), c.expected) << "stored text \"" << c.stored << "\"";
    }
}

TEST(StoredNumber, SpeedTextsGive9600OnlyForExactly96) {
    // clang-format off
    const std::pair<const char*, uint8_t> cases[] = {
        {"96", 96},   {"192", 192}, {"9600", 192}, {"0", 192},     {"300", 192}, {"DATAb", 192},
        {"", 192},    {" 96", 96},  {"96.4", 96},  {"95.5", 96},   {"96.5", 96}, {"96.6", 192},
        {"96bps", 96}, {"-96", 192}, {"1e400", 192}, {"99999999999999999999999", 192},
    };
    // clang-format on
    for (const auto& [stored, code] : cases) {
        EXPECT_EQ(readBaudCode(stored), code) << "stored text \"" << stored << "\"";
    }
}

// Switches LC_NUMERIC to a locale whose decimal point is a comma: an installed one, else one built
// with localedef from the locale sources into a temporary folder. False when neither is possible.
bool switchToCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_NUMERIC, name)) return true;
    if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return false;
    const std::string folder = ::testing::TempDir() + "zelt-locales";
    std::filesystem::create_directories(folder);
    const std::string build = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0 && !std::filesystem::exists(folder + "/de_DE.UTF-8")) return false;
    setenv("LOCPATH", folder.c_str(), 1);
    const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    return switched;
}

TEST(StoredNumber, TheDecimalPointIsAPointWhateverTheUsersLocale) {
    // Qt applies the user's locale to the C library on Unix; a comma locale must not change the rule.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (!switchToCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma can be had here";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(readPortNumber("3.5"), 4);
    EXPECT_EQ(readPortNumber("2.6"), 3);
    EXPECT_EQ(readPortNumber("2,6"), 2);
    EXPECT_EQ(readBaudCode("95.6"), 96);
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(StoredNumber, LineSettingsFollowTheSpeedCode) {
    EXPECT_EQ(lineSettingsFor(96), LineSettings{9600});
    EXPECT_EQ(lineSettingsFor(192), LineSettings{19200});
    EXPECT_EQ(lineSettingsFor(0), LineSettings{19200});
}

}  // namespace
}  // namespace zelt
