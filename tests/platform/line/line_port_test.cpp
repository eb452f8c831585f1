#include <gtest/gtest.h>

#include "link/link_keeper.h"
#include "platform/line/line_port.h"
#include "platform/system/qt_timer.h"
#include "testing/fake_device_catalog.h"
#include "testing/memory_settings_store.h"
#include "tests/support/fake_line_server.h"
#include "tests/support/pty_pair.h"

namespace zelt {
namespace {

// Port 2's mapping decides the kind of line; the caller only ever holds the one port.
struct LinePortTest : ::testing::Test {
    MemorySettingsStore store;
    LinePort port{store, [](const std::string&) { return std::nullopt; }};
    std::string received;

    LinePortTest() {
        port.onComm = [this] {
            if (port.commEvent() == SerialPort::kEventReceive) received += port.readAll();
        };
        port.setSettings(LineSettings{9600});
        port.setCommPort(2);
    }
};

TEST_F(LinePortTest, AMappedDeviceOpensAsASerialDevice) {
    test::PtyPair pty;
    store.put("Ports", "COM2", pty.slavePath());
    ASSERT_TRUE(port.open()) << port.lastOpenFailure();
    EXPECT_EQ(pty.slaveSpeed(), 9600);
    ASSERT_TRUE(port.write("CR0\r"));
    EXPECT_EQ(pty.receive(4, 2000), "CR0\r");
    pty.send("00\r");
    EXPECT_TRUE(test::waitUntil([&] { return received == "00\r"; })) << received;
}

TEST_F(LinePortTest, AMappedAddressOpensAsANetworkLineAndTheNextMappingTakesOver) {
    test::FakeLineServer server;
    store.put("Ports", "COM2", server.address("tcp"));
    ASSERT_TRUE(port.open()) << port.lastOpenFailure();
    ASSERT_TRUE(port.write("C00\r"));
    EXPECT_TRUE(test::waitUntil([&] { return server.received() == "C00\r"; }));
    server.send("\x06");
    EXPECT_TRUE(test::waitUntil([&] { return received == "\x06"; }));
    EXPECT_FALSE(port.open());  // already open, whichever kind
    port.close();
    EXPECT_FALSE(port.isOpen());

    // An explicit target wins over the mapping, and a bad one is a reason, not an open.
    port.setTarget("rfc2217://127.0.0.1:0");
    EXPECT_FALSE(port.open());
    EXPECT_NE(port.lastOpenFailure().find("rfc2217://127.0.0.1:0"), std::string::npos) << port.lastOpenFailure();
    EXPECT_FALSE(port.write("C00\r"));
}

TEST_F(LinePortTest, ADroppedNetworkLineIsConnectedAgainByTheKeeper) {
    test::FakeLineServer server;
    store.put("Ports", "COM2", server.address("tcp"));
    FakeDeviceCatalog devices;  // a network line is never looked for: it is tried
    QtTimer timer(1);
    LinkKeeper keeper(port, timer, devices, [this] { return port.targetFor(2); });
    port.onComm = [&] {
        if (port.commEvent() == SerialPort::kEventDeviceGone) keeper.lineLost();
    };
    ASSERT_TRUE(port.open()) << port.lastOpenFailure();
    ASSERT_TRUE(test::waitUntil([&] { return server.hasClient(); }));
    server.dropClient();
    ASSERT_TRUE(test::waitUntil([&] { return keeper.waiting(); }));
    EXPECT_EQ(keeper.target(), server.address("tcp"));
    ASSERT_TRUE(test::waitUntil([&] { return port.isOpen(); }, 5000)) << keeper.lastFailure();
    EXPECT_EQ(server.clientsAccepted(), 2);
    EXPECT_FALSE(keeper.waiting());
    ASSERT_TRUE(port.write("CR0\r"));
    EXPECT_TRUE(test::waitUntil([&] { return server.received() == "CR0\r"; })) << server.received();
}

}  // namespace
}  // namespace zelt
