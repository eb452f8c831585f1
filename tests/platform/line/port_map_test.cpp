#include <gtest/gtest.h>

#include <vector>

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

TEST(PortMap, TheEnvironmentWinsOverADeviceGivenToThePortWhichWinsOverItsMapping) {
    const EnvLookup env = [](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3") return "/dev/pts/7";
        return std::nullopt;
    };
    std::vector<int> mapped;  // the ports whose mapping was asked
    const auto mapping = [&mapped](int n) {
        mapped.push_back(n);
        return "/dev/ttyUSB" + std::to_string(n);
    };
    struct Case {
        int port;
        std::string given;
        std::string opens;
        PortSource source;
    };
    const Case cases[] = {
        {3, "tcp://127.0.0.1:4001", "/dev/pts/7", PortSource::Environment},
        {2, "/dev/ttyACM0", "/dev/ttyACM0", PortSource::Given},
        {2, "", "/dev/ttyUSB2", PortSource::Mapping},
    };
    for (const Case& c : cases) {
        const PortTarget target = portTarget(c.port, env, c.given, mapping);
        EXPECT_EQ(target.target, c.opens) << c.port << " " << c.given;
        EXPECT_EQ(target.source, c.source) << c.port << " " << c.given;
    }
    EXPECT_EQ(mapped, std::vector<int>{2});  // only where nothing stronger names the line
}

}  // namespace
}  // namespace zelt
