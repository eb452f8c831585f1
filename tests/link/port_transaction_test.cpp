#include <gtest/gtest.h>

#include "link/module1.h"
#include "link/port_transaction.h"
#include "testing/fake_serial_port.h"
#include "testing/memory_settings_store.h"

namespace zelt {
namespace {

using Outcome = PortChoiceResult::Outcome;

struct PortChoice : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    int openedCalls = 0;
    PortChoiceResult ok(const std::string& device = {}) {
        return acceptPortChoice(module, port, store, device, [this] {
            ++openedCalls;
            EXPECT_TRUE(store.writes.empty());  // between the open and the store
        });
    }
};

TEST_F(PortChoice, OkOpensWithTheChoiceThenStoresIt) {
    module.ComPortNumber = 2;
    module.BaudCode = 96;
    const PortChoiceResult r = ok();
    EXPECT_EQ(r.outcome, Outcome::Opened);
    EXPECT_EQ(openedCalls, 1);
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{2});
    EXPECT_EQ(port.openedSettings, std::vector<LineSettings>{LineSettings{9600}});
    EXPECT_EQ(port.openedTargets, std::vector<std::string>{""});  // the port's own mapping
    EXPECT_EQ(store.writes, (std::vector<std::string>{"ZELT/StartUP/ComPort", "ZELT/StartUP/BaudRate"}));
    EXPECT_EQ(store.get("StartUP", "ComPort"), "2");
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "96");
}

TEST_F(PortChoice, ADeviceGivenInTheDialogIsOpenedAndStoredAsThePortsMappingFirst) {
    module.ComPortNumber = 3;
    module.BaudCode = 192;
    const std::string device = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    EXPECT_TRUE(ok(device).opened());
    EXPECT_EQ(port.openedTargets, std::vector<std::string>{device});
    EXPECT_EQ(store.writes.front(), "ZELT/Ports/COM3");
    EXPECT_EQ(store.get("Ports", "COM3"), device);
    EXPECT_EQ(store.get("StartUP", "ComPort"), "3");
}

TEST_F(PortChoice, OkFailuresStoreNothingAndLeaveThePortClosed) {
    struct Case {
        int16_t number;
        bool openFails, storeFails;
        Outcome outcome;
        const char* reasonPart;
    };
    const Case cases[] = {
        {0, false, false, Outcome::NoPortChosen, "Choose a port"},
        {16, false, false, Outcome::NoPortChosen, "Choose a port"},
        {4, true, false, Outcome::OpenFailed, "/dev/ttyS3: no such device"},
        {4, false, true, Outcome::NotStored, "could not be saved"},
    };
    for (const Case& c : cases) {
        Module1 m;
        FakeSerialPort p;
        MemorySettingsStore s;
        m.ComPortNumber = c.number;
        p.failOpen = c.openFails;
        p.failureText = "/dev/ttyS3: no such device";
        s.failWrites = c.storeFails;
        bool opened = false;
        const PortChoiceResult r = acceptPortChoice(m, p, s, "/dev/pts/9", [&] { opened = true; });
        EXPECT_EQ(r.outcome, c.outcome) << c.number;
        EXPECT_NE(r.reason.find(c.reasonPart), std::string::npos) << r.reason;
        EXPECT_EQ(opened, c.storeFails) << c.number;
        EXPECT_TRUE(s.values.empty()) << c.number;
        EXPECT_FALSE(p.isOpen()) << c.number;
    }
}

TEST_F(PortChoice, AStoreThatFailsHalfWayWritesBackWhatWasThere) {
    MemorySettingsStore partial;
    partial.failingWrite = 2;  // the mapping goes in, ComPort does not
    partial.put("Ports", "COM3", "/dev/ttyUSB0");
    module.ComPortNumber = 3;
    FakeSerialPort p;
    const PortChoiceResult r = acceptPortChoice(module, p, partial, "/dev/ttyUSB1");
    EXPECT_EQ(r.outcome, Outcome::NotStored);
    EXPECT_FALSE(p.isOpen());
    EXPECT_EQ(partial.get("Ports", "COM3"), "/dev/ttyUSB0");  // back to what it was
    EXPECT_FALSE(partial.has("StartUP", "ComPort"));
}

TEST_F(PortChoice, CancelReturnsToTheEarlierPortAndSpeedWithoutStoring) {
    module.PreviousComPortNumber = 4;
    module.PreviousBaudCode = 96;
    module.ComPortNumber = 2;
    module.BaudCode = 192;
    port.setTarget("/dev/pts/9");  // left by an OK whose store failed
    const PortChoiceResult r = cancelPortChoice(module, port);
    EXPECT_TRUE(r.opened());
    EXPECT_EQ(module.ComPortNumber, 4);
    EXPECT_EQ(module.BaudCode, 96);
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{4});
    EXPECT_EQ(port.openedSettings, std::vector<LineSettings>{LineSettings{9600}});
    EXPECT_EQ(port.openedTargets, std::vector<std::string>{""});
    EXPECT_TRUE(store.writes.empty());

    // The earlier port fails: the earlier values stay, the port stays closed.
    FakeSerialPort failing;
    failing.failOpen = true;
    module.PreviousBaudCode = 7;  // anything but 96 is 19200
    const PortChoiceResult f = cancelPortChoice(module, failing);
    EXPECT_EQ(f.outcome, Outcome::OpenFailed);
    EXPECT_EQ(module.BaudCode, 192);
    EXPECT_FALSE(failing.isOpen());
}

TEST_F(PortChoice, CancelWithoutAnEarlierPortClosesAnOpenPortAndAsksForAChoice) {
    for (bool open : {false, true}) {
        Module1 m;
        FakeSerialPort p;
        m.ComPortNumber = 3;
        if (open) {
            ASSERT_TRUE(p.open());
        }
        const PortChoiceResult r = cancelPortChoice(m, p);
        EXPECT_EQ(r.outcome, Outcome::NoEarlierPort);
        EXPECT_EQ(r.closedPort, open);
        EXPECT_FALSE(p.isOpen());
        EXPECT_EQ(m.ComPortNumber, 0);
        EXPECT_EQ(p.openAttempts, open ? 1 : 0);
    }
}

}  // namespace
}  // namespace zelt
