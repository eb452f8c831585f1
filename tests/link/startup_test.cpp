#include <gtest/gtest.h>

#include "link/module1.h"
#include "link/startup.h"
#include "testing/fake_serial_port.h"
#include "testing/memory_settings_store.h"

namespace zelt {
namespace {

// Records what start-up does to the window; the dialog can act on the port while "shown".
struct FakeWindow : StartupWindow {
    void setOuterHeight(int t) override { heights.push_back(t), height = t; }
    double outerWidth() const override { return 10185 + 90; }
    double outerHeight() const override { return height; }
    double screenWidth() const override { return screenW; }
    double screenHeight() const override { return screenH; }
    void move(double l, double t) override { moved = true, left = l, top = t; }
    void showPortDialogModal() override {
        ++dialogs;
        baudWhenDialogShown = module ? module->BaudCode : 0;
        if (onDialog) onDialog();
    }
    void setExchangeIntervals(int t2, int t4) override { timer2 = t2, timer4 = t4; }
    void resetExchange() override { ++resets; }

    Module1* module = nullptr;
    std::function<void()> onDialog;
    std::vector<int> heights;
    double height = 0, screenW = 15360, screenH = 11520;
    bool moved = false;
    double left = 0, top = 0;
    int dialogs = 0, resets = 0;
    int timer2 = 5000, timer4 = 5500;
    uint8_t baudWhenDialogShown = 0;
};

struct Startup : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    FakeWindow window;
    Startup() { window.module = &module; }
    StartupOutcome run() { return runStartup(module, port, store, window); }
    bool readKey(const std::string& key) const {
        return std::find(store.reads.begin(), store.reads.end(), "ZELT/StartUP/" + key) != store.reads.end();
    }
};

TEST_F(Startup, NothingStoredShowsTheDialogFirstWithoutReadingTheSpeed) {
    EXPECT_EQ(run(), StartupOutcome::DialogNoValidPort);
    EXPECT_EQ(window.dialogs, 1);
    EXPECT_TRUE(readKey("ComPort"));
    EXPECT_FALSE(readKey("BaudRate"));
    EXPECT_EQ(module.ComPortNumber, 0);
    EXPECT_EQ(window.baudWhenDialogShown, 0);
    EXPECT_EQ(window.heights, std::vector<int>{5780});  // the compact view on every path
    EXPECT_EQ(port.openAttempts, 0);
    EXPECT_FALSE(window.moved);
    EXPECT_EQ(window.timer2, 5000);
    EXPECT_EQ(window.timer4, 5500);
    EXPECT_TRUE(store.writes.empty());
}

TEST_F(Startup, StoredPortTextsDecideBetweenOpeningAndTheDialog) {
    const std::pair<const char*, int> opening[] = {{"15", 15}, {" 3", 3},  {"3COM", 3},
                                                   {"1", 1},   {"2.5", 2}, {"3.5", 4}};
    for (auto [text, number] : opening) {
        Module1 m;
        FakeSerialPort p;
        MemorySettingsStore s;
        FakeWindow w;
        s.put("StartUP", "ComPort", text);
        EXPECT_EQ(runStartup(m, p, s, w), StartupOutcome::Opened) << text;
        EXPECT_EQ(p.openedPorts, std::vector<int16_t>{static_cast<int16_t>(number)}) << text;
        EXPECT_EQ(w.dialogs, 0) << text;
    }
    const std::pair<const char*, int16_t> dialog[] = {{"16", 16},   {"0", 0},    {"-2", -2},
                                                      {"99999", 0}, {"COM3", 0}, {"", 0}};
    for (auto [text, held] : dialog) {
        Module1 m;
        FakeSerialPort p;
        MemorySettingsStore s;
        FakeWindow w;
        s.put("StartUP", "ComPort", text);
        EXPECT_EQ(runStartup(m, p, s, w), StartupOutcome::DialogNoValidPort) << text;
        EXPECT_EQ(w.dialogs, 1) << text;
        EXPECT_EQ(p.openAttempts, 0) << text;
        EXPECT_EQ(m.ComPortNumber, held) << text;  // holds what was read, out of range too
    }
}

TEST_F(Startup, StoredSpeedTextsSelectTheLineSettings) {
    const std::tuple<const char*, uint8_t, int> cases[] = {
        {"96", 96, 9600},  {"192", 192, 19200}, {"9600", 192, 19200},
        {"0", 192, 19200}, {"300", 192, 19200}, {nullptr, 192, 19200},
    };
    for (auto [text, code, baud] : cases) {
        Module1 m;
        FakeSerialPort p;
        MemorySettingsStore s;
        FakeWindow w;
        s.put("StartUP", "ComPort", "4");
        if (text) s.put("StartUP", "BaudRate", text);
        runStartup(m, p, s, w);
        EXPECT_EQ(m.BaudCode, code) << (text ? text : "(missing)");
        ASSERT_EQ(p.openedSettings.size(), 1u);
        EXPECT_EQ(p.openedSettings[0], LineSettings{baud}) << (text ? text : "(missing)");
    }
}

TEST_F(Startup, SuccessSetsShortIntervalsAndCentresTheWindowAboveTheMiddle) {
    store.put("StartUP", "ComPort", "3");
    store.put("StartUP", "BaudRate", "96");
    EXPECT_EQ(run(), StartupOutcome::Opened);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.commPort, 3);
    EXPECT_EQ(window.timer2, 1000);
    EXPECT_EQ(window.timer4, 1200);
    ASSERT_TRUE(window.moved);
    EXPECT_DOUBLE_EQ(window.left, (15360.0 - 10275.0) / 2);
    EXPECT_DOUBLE_EQ(window.top, 1520.0);  // (11520 - 5780) / 2 - 1350
    EXPECT_EQ(window.resets, 1);
    EXPECT_EQ(window.dialogs, 0);
    EXPECT_TRUE(store.writes.empty());
}

TEST_F(Startup, ASmallScreenGivesANegativeTopAppliedAsComputed) {
    store.put("StartUP", "ComPort", "3");
    window.screenH = 7200;  // 480 pixels
    window.screenW = 9600;
    run();
    EXPECT_DOUBLE_EQ(window.top, (7200.0 - 5780.0) / 2 - 1350);  // -640
    EXPECT_DOUBLE_EQ(window.left, (9600.0 - 10275.0) / 2);       // -337.5
}

TEST_F(Startup, AFailedOpenShowsTheDialogWithoutMovingOrShorteningTimers) {
    store.put("StartUP", "ComPort", "2");
    store.put("StartUP", "BaudRate", "96");
    port.failOpen = true;
    EXPECT_EQ(run(), StartupOutcome::DialogOpenFailed);
    EXPECT_EQ(window.dialogs, 1);
    EXPECT_EQ(window.baudWhenDialogShown, 96);
    EXPECT_FALSE(window.moved);
    EXPECT_EQ(window.timer2, 5000);
    EXPECT_EQ(window.timer4, 5500);
    EXPECT_EQ(window.resets, 0);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(Startup, ComClosesAnOpenPortAndRemembersTheSettingsInForce) {
    store.put("StartUP", "ComPort", "4");
    store.put("StartUP", "BaudRate", "96");
    run();
    ASSERT_TRUE(port.isOpen());
    prepareComDialog(module, port);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(module.PreviousComPortNumber, 4);
    EXPECT_EQ(module.PreviousBaudCode, 96);
    // Again while the port is closed: no second close, values copied afresh.
    module.ComPortNumber = 9;
    module.BaudCode = 192;
    prepareComDialog(module, port);
    EXPECT_EQ(port.closes, 1);
    EXPECT_EQ(module.PreviousComPortNumber, 9);
    EXPECT_EQ(module.PreviousBaudCode, 192);
}

}  // namespace
}  // namespace zelt
