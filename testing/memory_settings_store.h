#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/line/port_choice.h"
#include "platform/settings/settings_store.h"

namespace zelt {

// A settings store in memory, for tests: remembers every read and write. put, has and get name
// a section and key of application "ZELT".
class MemorySettingsStore final : public SettingsStore {
public:
    std::string read(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& fallback) override;
    bool write(const std::string& app, const std::string& section, const std::string& key,
               const std::string& text) override;

    // "app/section/key" -> text.
    static std::string path(const std::string& app, const std::string& section, const std::string& key) {
        return app + "/" + section + "/" + key;
    }
    void put(const std::string& section, const std::string& key, const std::string& text) {
        values[path(kSettingsApplication, section, key)] = text;
    }
    bool has(const std::string& section, const std::string& key) const {
        return values.count(path(kSettingsApplication, section, key)) != 0;
    }
    std::string get(const std::string& section, const std::string& key) const;

    std::map<std::string, std::string> values;
    std::vector<std::string> reads;   // paths, in order
    std::vector<std::string> writes;  // paths, in order (successful ones)
    bool failWrites = false;
    int failingWrite = 0;  // when above 0: the write of that number (1, 2, ...) fails, the others succeed
    int writeCalls = 0;
};

}  // namespace zelt
