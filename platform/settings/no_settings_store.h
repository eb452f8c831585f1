#pragma once

#include "platform/settings/settings_store.h"

namespace zelt {

// A store that keeps nothing, for a program whose lines are all given by address (the service):
// every read is the fallback, every write refused.
class NoSettingsStore final : public SettingsStore {
public:
    std::string read(const std::string&, const std::string&, const std::string&, const std::string& fallback) override {
        return fallback;
    }
    bool write(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return false;
    }
};

}  // namespace zelt
