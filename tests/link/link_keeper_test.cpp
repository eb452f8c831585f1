#include <gtest/gtest.h>

#include "link/link_keeper.h"
#include "link/timing.h"
#include "testing/fake_device_catalog.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

constexpr char kLink[] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";

// A keeper over a fake port that is open on kLink (or `target`), on virtual time.
struct Keeper : ::testing::Test {
    FakeSerialPort port;
    FakeDeviceCatalog devices;
    FakeClock clock;
    FakeTimer timer{clock, 1};
    std::string target = kLink;
    LinkKeeper keeper{port, timer, devices, [this] { return target; }};
    int changes = 0;

    void SetUp() override {
        keeper.onChange = [this] { ++changes; };
        port.onComm = [this] {
            if (port.commEvent() == SerialPort::kEventDeviceGone) keeper.lineLost();
        };
        devices.present.insert(kLink);
        ASSERT_TRUE(port.open());
    }
    // The device is pulled: the port closes itself and tells so.
    void pull() {
        devices.present.erase(kLink);
        port.vanish();
    }
};

TEST_F(Keeper, NothingRunsWhileTheLineIsUp) {
    clock.advance(10000);
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_EQ(timer.ticks, 0);
    EXPECT_FALSE(keeper.waiting());
    EXPECT_EQ(keeper.statusText(), "");
}

TEST_F(Keeper, ALostDeviceIsReopenedSoonAfterItComesBackAndNotBefore) {
    pull();
    EXPECT_TRUE(keeper.waiting());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(port.openAttempts, 1);  // not from inside the gone event
    EXPECT_NE(keeper.statusText().find(std::string("waiting for ") + kLink), std::string::npos) << keeper.statusText();
    clock.advance(5000);
    EXPECT_EQ(port.openAttempts, 1);  // absent: looked for, never opened
    EXPECT_GT(timer.ticks, 10);

    devices.present.insert(kLink);
    clock.advance(timer.interval());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openAttempts, 2);
    EXPECT_EQ(port.commPort, 0);  // the port keeps its number and speed: only opened again
    EXPECT_FALSE(keeper.waiting());
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_EQ(keeper.reopened(), 1);
    EXPECT_EQ(keeper.statusText(), "");
    EXPECT_EQ(changes, 2);
    EXPECT_LE(timer.interval(), 1000);  // within a second of the device's return
}

TEST_F(Keeper, ADeviceBackButRefusedIsTriedQuietlyUntilItOpensABusyOneOnceASecond) {
    struct Case {
        bool busy;
        int triesIn2s;     // each try of a busy device costs a look at every process
        int openWithinMs;  // once it is free
    };
    const Case cases[] = {{false, 8, kKeeperDeviceCheckMs}, {true, 2, kKeeperBusyRetryMs}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.busy ? "busy" : "refused");
        pull();
        devices.present.insert(kLink);
        port.failOpen = true;
        port.failBusy = c.busy;
        port.failureText = std::string(kLink) + ": the port is busy: another program is using it (PID 4242)";
        clock.advance(kKeeperDeviceCheckMs);  // the first look opens at once
        const int before = keeper.attempts();
        clock.advance(2000);
        EXPECT_TRUE(keeper.waiting());
        EXPECT_EQ(keeper.attempts() - before, c.triesIn2s);
        EXPECT_NE(keeper.statusText().find("PID 4242"), std::string::npos) << keeper.statusText();
        const int changesWhileBusy = changes;
        clock.advance(2000);
        EXPECT_EQ(changes, changesWhileBusy);  // the same failure is not told again
        port.failOpen = false;
        clock.advance(c.openWithinMs);
        EXPECT_TRUE(port.isOpen());
        EXPECT_FALSE(keeper.waiting());
    }
}

TEST_F(Keeper, StopEndsTheWaitingAndTheTimer) {
    pull();
    keeper.stop();
    EXPECT_FALSE(keeper.waiting());
    EXPECT_FALSE(timer.isEnabled());
    devices.present.insert(kLink);
    clock.advance(5000);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.openAttempts, 1);
    // A port opened by someone else (the dialog) while waiting ends the waiting too.
    ASSERT_TRUE(port.open());
    pull();
    ASSERT_TRUE(keeper.waiting());
    ASSERT_TRUE(port.open());
    clock.advance(1000);
    EXPECT_FALSE(keeper.waiting());
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_EQ(port.openAttempts, 3);
}

TEST_F(Keeper, ANetworkLineIsTriedAboutOnceASecondWithoutLookingForAPath) {
    target = "tcp://127.0.0.1:4999";
    pull();
    port.failOpen = true;
    clock.advance(3500);
    EXPECT_EQ(keeper.attempts(), 3);
    EXPECT_EQ(timer.interval(), 1000);
    port.failOpen = false;
    clock.advance(1000);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(keeper.statusText(), "");
}

TEST_F(Keeper, AWaitStoppedDuringASlowOpenClosesWhatThatOpenOpened) {
    // A network open runs the event loop while it connects; "COM" may come meanwhile.
    target = "tcp://127.0.0.1:4999";
    pull();
    port.duringOpen = [&] { keeper.stop(); };
    clock.advance(1000);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.openAttempts, 2);
    EXPECT_EQ(port.closes, 2);  // the vanishing, then the unwanted open
    EXPECT_FALSE(keeper.waiting());
}
}  // namespace
}  // namespace zelt
