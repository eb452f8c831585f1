#include "testing/fake_device_catalog.h"

#include <algorithm>

namespace zelt {

bool FakeDeviceCatalog::isPresent(const std::string& path) const {
    return present.count(path) != 0 || find(list, path) != nullptr;
}

void FakeDeviceCatalog::plug(const SerialDevice& device) {
    list.push_back(device);
    if (watching) changed();
}

void FakeDeviceCatalog::pull(const std::string& name) {
    const auto gone = std::remove_if(list.begin(), list.end(),
                                     [&](const SerialDevice& d) { return d.stableName == name || d.location == name; });
    const bool any = gone != list.end();
    list.erase(gone, list.end());
    if (any && watching) changed();
}

void FakeDeviceCatalog::watchingChanged(bool on) {
    watching = on;
    if (on) ++watchStarts;
}

}  // namespace zelt
