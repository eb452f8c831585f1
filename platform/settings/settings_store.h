#pragma once

#include <string>

namespace zelt {

// Per-user texts by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `fallback` when the key was never written (or cannot be read).
    virtual std::string read(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& fallback) = 0;
    // False when the text could not be made to persist.
    virtual bool write(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& text) = 0;
};

}  // namespace zelt
