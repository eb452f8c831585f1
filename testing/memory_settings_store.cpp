#include "testing/memory_settings_store.h"

namespace zelt {

std::string MemorySettingsStore::read(const std::string& app, const std::string& section, const std::string& key,
                                      const std::string& fallback) {
    const std::string p = path(app, section, key);
    reads.push_back(p);
    auto it = values.find(p);
    return it == values.end() ? fallback : it->second;
}

bool MemorySettingsStore::write(const std::string& app, const std::string& section, const std::string& key,
                                const std::string& text) {
    if (failWrites || ++writeCalls == failingWrite) return false;
    const std::string p = path(app, section, key);
    values[p] = text;
    writes.push_back(p);
    return true;
}

std::string MemorySettingsStore::get(const std::string& section, const std::string& key) const {
    auto it = values.find(path(kSettingsApplication, section, key));
    return it == values.end() ? std::string() : it->second;
}

}  // namespace zelt
