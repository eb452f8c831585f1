#include "platform/serial/device_catalog.h"

namespace zelt {

DeviceCatalog::Watch& DeviceCatalog::Watch::operator=(Watch&& other) noexcept {
    if (this != &other) {
        reset();
        catalog_ = std::exchange(other.catalog_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void DeviceCatalog::Watch::reset() {
    if (catalog_) catalog_->unwatch(id_);
    catalog_ = nullptr;
}

DeviceCatalog::Watch DeviceCatalog::watch(std::function<void()> onChange) {
    const bool first = watchers_.empty();
    const int id = nextId_++;
    watchers_[id] = std::move(onChange);
    if (first) watchingChanged(true);
    return Watch(this, id);
}

void DeviceCatalog::unwatch(int id) {
    if (watchers_.erase(id) != 0 && watchers_.empty()) watchingChanged(false);
}

void DeviceCatalog::changed() {
    // A watcher may end its own watch (or another's) while being told: call from a copy.
    const auto watchers = watchers_;
    for (const auto& [id, onChange] : watchers) {
        if (watchers_.count(id) != 0 && onChange) onChange();
    }
}

const SerialDevice* DeviceCatalog::find(const std::vector<SerialDevice>& devices, const std::string& path) {
    for (const SerialDevice& d : devices) {
        if (!path.empty() && (d.stableName == path || d.location == path)) return &d;
    }
    return nullptr;
}

}  // namespace zelt
