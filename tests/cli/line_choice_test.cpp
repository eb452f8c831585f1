// How a program without a window chooses its line: the options over the stored choice, the
// environment over the port map, and nothing read that the choice does not need.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/line/line_choice.h"
#include "testing/memory_settings_store.h"

namespace zelt {
namespace {

TEST(LineChoice, OptionsOverTheStoredChoiceAndTheEnvironmentOverThePortMap) {
    const std::string comPort = "ZELT/StartUP/ComPort";
    const std::string baudRate = "ZELT/StartUP/BaudRate";
    const std::string com3 = "ZELT/Ports/COM3";
    struct Case {
        const char* what;
        std::map<std::string, std::string> stored;  // section/key -> text
        std::map<std::string, std::string> environment;
        LineRequest request;
        int port;
        std::string target;
        int baud;                        // 0: no port chosen
        std::vector<std::string> reads;  // in order
    };
    const std::string ttyS2 = platformPortName(3);
    const std::map<std::string, std::string> port3 = {{"StartUP/ComPort", "3"}};
    const std::map<std::string, std::string> port3At9600 = {{"StartUP/ComPort", "3"}, {"StartUP/BaudRate", "96"}};
    const std::map<std::string, std::string> port3Mapped = {{"StartUP/ComPort", "3"}, {"Ports/COM3", "/dev/ttyUSB0"}};
    const std::map<std::string, std::string> com3Variable = {{"ZELT_COM3", "/dev/pts/7"}};
    // clang-format off
    const Case cases[] = {
        {"nothing stored", {}, {}, {}, 0, "", 0, {comPort}},
        {"a stored port outside 1..15", {{"StartUP/ComPort", "16"}}, {}, {}, 0, "", 0, {comPort}},
        {"stored port, no mapping", port3, {}, {}, 3, ttyS2, 19200, {comPort, com3, baudRate}},
        {"the stored text by the reading rule", {{"StartUP/ComPort", " 3COM"}}, {}, {}, 3, ttyS2, 19200,
         {comPort, com3, baudRate}},
        {"stored port and speed", port3At9600, {}, {}, 3, ttyS2, 9600, {comPort, com3, baudRate}},
        {"the mapping", port3Mapped, {}, {}, 3, "/dev/ttyUSB0", 19200, {comPort, com3, baudRate}},
        {"the environment wins over the mapping", port3Mapped, com3Variable, {}, 3, "/dev/pts/7", 19200,
         {comPort, baudRate}},
        {"an empty variable names nothing", port3Mapped, {{"ZELT_COM3", ""}}, {}, 3, "/dev/ttyUSB0", 19200,
         {comPort, com3, baudRate}},
        {"--port over the stored port", {{"StartUP/ComPort", "16"}}, {{"ZELT_COM5", "/dev/pts/9"}}, {5, "", {}},
         5, "/dev/pts/9", 19200, {baudRate}},
        {"--device names the line; the stored speed still counts", port3At9600, com3Variable,
         {{}, "rfc2217://127.0.0.1:4001", {}}, 0, "rfc2217://127.0.0.1:4001", 9600, {baudRate}},
        {"--baud over the stored speed", port3At9600, {}, {{}, "", LineSettings{19200}}, 3, ttyS2, 19200,
         {comPort, com3}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySettingsStore store;
        for (const auto& [name, text] : c.stored) {
            const auto slash = name.find('/');
            store.put(name.substr(0, slash), name.substr(slash + 1), text);
        }
        const EnvLookup env = [&](const std::string& name) -> std::optional<std::string> {
            const auto it = c.environment.find(name);
            if (it == c.environment.end()) return std::nullopt;
            return it->second;
        };
        const LineChoice choice = chooseLine(c.request, store, env);
        EXPECT_EQ(store.reads, c.reads);
        if (c.baud == 0) {
            EXPECT_EQ(choice.error, kNoPortChosen);
            continue;
        }
        EXPECT_TRUE(choice.chosen()) << choice.error;
        EXPECT_EQ(choice.port, c.port);
        EXPECT_EQ(choice.target, c.target);
        EXPECT_EQ(choice.settings, LineSettings{c.baud});
    }
}

}  // namespace
}  // namespace zelt
