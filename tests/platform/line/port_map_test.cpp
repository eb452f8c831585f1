#include <gtest/gtest.h>

#include "platform/line/port_map.h"
#include "testing/memory_settings_store.h"

namespace zelt {
namespace {

TEST(PortMap, EnvironmentThenStoredMapThenPlatformName) {
    MemorySettingsStore store;
    store.put("Ports", "COM2", "/dev/ttyUSB0");
    store.put("Ports", "COM3", "/dev/ttyUSB1");
    const EnvLookup env = [](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3") return "/dev/pts/7";
        if (name == "ZELT_COM4") return "";  // set but empty: not a device
        return std::nullopt;
    };
    EXPECT_EQ(portDevice(3, store, env), "/dev/pts/7");    // environment wins over the map
    EXPECT_EQ(portDevice(2, store, env), "/dev/ttyUSB0");  // per-user map
    EXPECT_EQ(portDevice(4, store, env), platformPortName(4));
    EXPECT_EQ(portDevice(15, store, env), platformPortName(15));
#ifndef _WIN32
    EXPECT_EQ(platformPortName(1), "/dev/ttyS0");
    EXPECT_EQ(platformPortName(15), "/dev/ttyS14");
#endif
}

}  // namespace
}  // namespace zelt
