// The `pjlink` client from the npm registry against zelt-pjlinkd in front of the projector
// emulator: power on through the warm-up, an input, audio mute, errors, lamp hours, the password.
// The test command installs the package into build/npm (scripts/common.sh).
#include <gtest/gtest.h>

#include <QStandardPaths>

#include <filesystem>
#include <map>

#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"

namespace zelt::test {
namespace {

struct Step {
    const char* name;
    const char* result;
};
// clang-format off
constexpr Step kSteps[] = {
    {"wrong-password", "error Authorization failed"},
    {"power-after-intruder", "0"},                      // the intruder's power on never reached the line
    {"input-in-standby", "error Unavailable time"},     // ERR3
    {"power-on", "\"ok\""},
    {"power-first", "3"},                               // warming up (" Count down")
    {"power", "1"},                                     // " Power ON"
    {"input-hdmi", "\"ok\""},
    {"input", "\"31\""},
    {"mute-audio", "\"ok\""},
    {"mute", "{\"audio\":true,\"video\":false}"},
    {"input-unknown", "error Out of parameter"},        // ERR2
    {"lamps", "[{\"hours\":1234,\"on\":true}]"},
    {"errors", "\"ok\""},                               // no errors: the client gives nothing
    {"manufacturer", "\"ZELT\""},
    {"model", "\"QX480\""},
    {"name", "\"hall\""},
    {"class", "\"1\""},
};
// clang-format on

TEST(BridgeNpmClient, DrivesTheProjectorThroughTheBridge) {
    const std::string node = QStandardPaths::findExecutable("node").toStdString();
    const std::string modules = std::string(ZELT_NPM_PREFIX) + "/node_modules";
    if (node.empty() || !std::filesystem::exists(modules + "/pjlink/package.json"))
        GTEST_SKIP() << "node or the pjlink package is missing: ./scripts/test.sh installs them";

    EmulatorProcess emulator({"--log", "--warmup-seconds", "2", "--cooldown-seconds", "2"});
    ASSERT_TRUE(emulator.started());
    BridgeProcess bridge(
        {"--device", emulator.devicePath(), "--password-file", writePasswordFile("panel"), "--name", "hall"});
    ASSERT_TRUE(bridge.started()) << bridge.startError();

    ChildProcess client;
    ASSERT_TRUE(client.start({node, std::string(ZELT_SOURCE_DIR) + "/tests/bridge/pjlink_client_check.js", modules,
                              "127.0.0.1", std::to_string(bridge.port()), "panel"},
                             StandardError::Captured));
    EXPECT_EQ(client.waitForExit(60000), 0) << client.standardError(1000);
    std::map<std::string, std::string> results;
    for (const std::string& line : client.lines()) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) results[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const Step& step : kSteps) EXPECT_EQ(results[step.name], step.result) << step.name;

    std::vector<std::string> commands;
    for (const RxLine& rx : emulator.rxLines()) commands.push_back(rx.command);
    for (const char* command : {"C00", "C04", "C0B"})
        EXPECT_NE(std::find(commands.begin(), commands.end(), command), commands.end()) << command;
}

}  // namespace
}  // namespace zelt::test
