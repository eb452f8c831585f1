// The panel's traffic through --log's file: a send, a reply and a send that did not go out.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <regex>

#include "link/traffic_log_file.h"
#include "tests/panel/panel_fixture.h"
#include "tests/support/temp_config.h"

namespace zelt::test {
namespace {

struct PanelWithLog : Panel {
    TrafficLogFile log;
    const std::string path = configDir() + "/panel-traffic.log";

    void SetUp() override {
        std::filesystem::remove(path);
        ASSERT_TRUE(log.open(path)) << log.openFailure();
        store.put("StartUP", "ComPort", "1");
        PanelServices withLog = services();
        withLog.trafficLog = &log;
        form = makeForm1(std::move(withLog));
        form->Form_Load();
        form->show();
    }

    // Each line's direction and text, after a checked time stamp.
    std::vector<std::string> lines() {
        const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
        std::vector<std::string> seen;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
            seen.push_back(m[1]);
        }
        return seen;
    }
};

TEST_F(PanelWithLog, LogsEachSendReceiptAndFailedSendAsTheyHappen) {
    click(captioned("Status"));
    EXPECT_EQ(lines(), (std::vector<std::string>{"TX C R 0  [CR] "}));  // flushed at once
    port.arrive("80\r");
    port.close();
    click(captioned("Status"));
    EXPECT_EQ(lines(), (std::vector<std::string>{"TX C R 0  [CR] ", "RX 8 0  [CR] ", "TX FAILED C R 0  [CR] "}));
}

}  // namespace
}  // namespace zelt::test
