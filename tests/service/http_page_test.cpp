// The service's web page in a real browser: Debian's Chromium driven by puppeteer-core, with an
// accessibility scan by axe-core, against zeltd in front of the projector emulator. The screenshots
// land in build/screenshots (docs/images has the ones looked at).
#include <gtest/gtest.h>

#include <QStandardPaths>

#include <filesystem>
#include <map>

#include "tests/support/emulator_process.h"
#include "tests/support/zeltd_process.h"

namespace zelt::test {
namespace {

TEST(HttpPage, DrivesTheProjectorFromChromium) {
    const std::string node = QStandardPaths::findExecutable("node").toStdString();
    const std::string modules = std::string(ZELT_NPM_PREFIX) + "/node_modules";
    if (node.empty() || !std::filesystem::exists("/usr/bin/chromium") ||
        !std::filesystem::exists(modules + "/puppeteer-core/package.json") ||
        !std::filesystem::exists(modules + "/axe-core/axe.min.js"))
        GTEST_SKIP() << "node, chromium, puppeteer-core or axe-core is missing: ./scripts/test.sh installs them";

    // A long warm-up, so the screenshots show it.
    EmulatorProcess emulator({"--log", "--warmup-seconds", "60"});
    ASSERT_TRUE(emulator.started());
    ZeltdProcess zeltd("[[projector]]\nname = \"hall\"\ndisplay_name = \"Main hall\"\nline = \"" +
                       emulator.devicePath() +
                       "\"\n\n[[projector]]\nname = \"lab-2\"\ndisplay_name = \"Lab 2\"\n"
                       "line = \"/dev/zelt-test-no-such-device\"\n\n[http]\nlisten = \"127.0.0.1:0\"\n");
    ASSERT_TRUE(zeltd.started()) << zeltd.startError();
    std::filesystem::create_directories(ZELT_SCREENSHOT_DIR);

    ChildProcess browser;
    ASSERT_TRUE(browser.start({node, std::string(ZELT_SOURCE_DIR) + "/tests/service/http_page_check.js", modules,
                               "http://127.0.0.1:" + std::to_string(zeltd.httpPort()) + "/", ZELT_SCREENSHOT_DIR},
                              StandardError::Captured));
    const std::optional<int> status = browser.waitForExit(120000);
    const std::string errors = browser.standardError(1000);
    ASSERT_EQ(status, 0) << errors;
    std::map<std::string, std::string> results;
    for (const std::string& line : browser.lines()) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) results[line.substr(0, equals)] = line.substr(equals + 1);
    }
    const std::pair<const char*, const char*> expected[] = {
        {"status", "200"},
        {"title", "Projectors"},
        // On, Off, five inputs, two each for picture mute, sound mute and freeze, volume - and +.
        {"controls-hall", "15"},
        {"badge", "Warming up"},
        {"pressed-input", "true"},  // the input in force: Computer 1
        {"traffic", "C00 shown"},
        {"reference-command", "CF BRIGHT 0%%"},
        {"overflow-360", "no"},
        {"small-targets-360", "0"},
        {"axe-critical", "0"},
        {"axe-serious", "0"},
        {"page-errors", "0"},
    };
    for (const auto& [step, result] : expected) EXPECT_EQ(results[step], result) << step << "\n" << errors;
    EXPECT_NE(results["volume-result"].find("C09: answered"), std::string::npos) << results["volume-result"];
    EXPECT_NE(results["reference-result"].find("CF BRIGHT 042: answered"), std::string::npos)
        << results["reference-result"];

    // The clicks reached the line.
    ASSERT_FALSE(emulator.waitForLine("RX \"CF BRIGHT 042\"", 5000).empty());
    EXPECT_EQ(emulator.rxLines("C00").size(), 1u);
    EXPECT_EQ(emulator.rxLines("C09").size(), 1u);
    EXPECT_EQ(emulator.rxLines("CF BRIGHT 042").size(), 1u);
    for (const char* shot : {"web-page-360x640.png", "web-page-1280x800.png"})
        EXPECT_GT(std::filesystem::file_size(std::string(ZELT_SCREENSHOT_DIR) + "/" + shot), 10000u) << shot;
}

}  // namespace
}  // namespace zelt::test
