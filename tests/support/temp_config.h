#pragma once

#include <string>

namespace zelt::test {

// This test process's own settings folder (XDG_CONFIG_HOME), made before any settings are used.
const std::string& configDir();
// Makes the folder if it is not there yet and points XDG_CONFIG_HOME at it.
void setUpConfigDir();
// The settings file that the Qt store writes for application "ZELT".
std::string settingsFile();

}  // namespace zelt::test
