#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "platform/line/port_map.h"

class QWidget;

namespace zelt {
class DeviceCatalog;
class Form1;
struct Module1;
class SerialPort;
class SettingsStore;
class Timer;
class TrafficLog;
}  // namespace zelt

namespace zelt::test {

// What a test or a benchmark gives the main window. The one place that turns it into
// Form1::Services, so a change there is one edit here. Defaults suit a test: "END" and the
// "Retry Comport" box go nowhere (neither may quit or block the test's application).
struct PanelServices {
    Module1& module;
    SerialPort& port;
    SettingsStore& store;
    std::function<std::string(int)> deviceFor = {};                             // port number -> device
    std::function<std::unique_ptr<Timer>(int intervalMs)> makeTimer = {};       // default: Qt timers
    std::function<void(QWidget* parent, const QString& reason)> retryMessage =  // default: dropped
        [](QWidget*, const QString&) {};
    std::function<void()> endSystem = [] {};  // default: nothing
    std::function<void()> beep = {};          // default: the desktop's
    DeviceCatalog* devices = nullptr;         // default: Qt's
    EnvLookup env = {};
    TrafficLog* trafficLog = nullptr;
};

// The main window, built as app/main.cpp builds it but from these services; not yet loaded.
std::unique_ptr<Form1> makeForm1(PanelServices services);

}  // namespace zelt::test
