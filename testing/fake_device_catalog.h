#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/serial/device_catalog.h"

namespace zelt {

// A device catalog for tests: devices are plugged and pulled by hand, and watchers are told at once.
// Paths in `present` exist besides the listed devices (a pseudo-terminal, a by-id link).
class FakeDeviceCatalog final : public DeviceCatalog {
public:
    std::vector<SerialDevice> devices() override {
        ++lookups;
        return list;
    }
    bool isPresent(const std::string& path) const override;

    // Test controls.
    void plug(const SerialDevice& device);
    void pull(const std::string& name);  // by stable name or location
    bool watching = false;               // whether anyone watches now
    int watchStarts = 0;
    int lookups = 0;
    std::vector<SerialDevice> list;
    std::set<std::string> present;

protected:
    void watchingChanged(bool on) override;
};

}  // namespace zelt
