#pragma once

#include "platform/settings/settings_store.h"

namespace zelt {

// Per-user texts in Qt's native settings format: on Linux $XDG_CONFIG_HOME/<app>.conf
// (~/.config/ZELT.conf), one [section] group per section.
class QtSettingsStore final : public SettingsStore {
public:
    std::string read(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& fallback) override;
    bool write(const std::string& app, const std::string& section, const std::string& key,
               const std::string& text) override;
};

}  // namespace zelt
