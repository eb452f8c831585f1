#include <gtest/gtest.h>

#include "platform/line_port.h"
#include "platform/memory_settings_store.h"
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
        port.setSettings("9600,N,8,1");
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

}  // namespace
}  // namespace zelt
