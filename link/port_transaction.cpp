#include "link/port_transaction.h"

#include <utility>
#include <vector>

#include "link/module1.h"
#include "platform/line/port_choice.h"
#include "platform/serial/serial_port.h"
#include "platform/settings/settings_store.h"

namespace zelt {

namespace {

PortChoiceResult failed(PortChoiceResult::Outcome outcome, std::string reason) {
    return {outcome, std::move(reason), false};
}

}  // namespace

PortChoiceResult acceptPortChoice(Module1& m, SerialPort& port, SettingsStore& store, const std::string& device,
                                  const std::function<void()>& opened) {
    port.setSettings(lineSettingsFor(m.BaudCode));
    // A number outside 1..15 (read from a damaged store) is no choice either.
    if (!isValidPort(m.ComPortNumber))
        return failed(PortChoiceResult::Outcome::NoPortChosen,
                      "Choose a port: COM1 to COM5, or type a number from 1 to 15 beside OTHER.");
    port.setCommPort(m.ComPortNumber);
    port.setTarget(device);
    if (!port.open()) return failed(PortChoiceResult::Outcome::OpenFailed, port.lastOpenFailure());
    if (opened) opened();

    struct Entry {
        const char* section;
        std::string key, text, fallback;
    };
    std::vector<Entry> entries;
    // The mapping first: a port number stored without it would open the old device next time.
    if (!device.empty()) entries.push_back({kPortsSection, portKey(m.ComPortNumber), device, ""});
    entries.push_back({kStartupSection, kComPortKey, std::to_string(m.ComPortNumber), kComPortFallback});
    entries.push_back({kStartupSection, kBaudRateKey, std::to_string(m.BaudCode), kBaudRateFallback});
    std::vector<std::string> before;
    for (const Entry& e : entries) before.push_back(store.read(kSettingsApplication, e.section, e.key, e.fallback));
    for (size_t i = 0; i < entries.size(); ++i) {
        if (store.write(kSettingsApplication, entries[i].section, entries[i].key, entries[i].text)) continue;
        // Not stored: what was written goes back, and the port closes so that OK can be repeated.
        for (size_t j = 0; j < i; ++j) store.write(kSettingsApplication, entries[j].section, entries[j].key, before[j]);
        port.close();
        return failed(PortChoiceResult::Outcome::NotStored,
                      "The port opened, but the choice could not be saved in the settings file; "
                      "check that your settings folder is writable.");
    }
    return {PortChoiceResult::Outcome::Opened, {}, false};
}

PortChoiceResult cancelPortChoice(Module1& m, SerialPort& port) {
    m.ComPortNumber = m.PreviousComPortNumber;
    if (isValidPort(m.ComPortNumber)) {
        m.BaudCode = m.PreviousBaudCode == kBaudCode9600 ? kBaudCode9600 : kBaudCode19200;
        port.setSettings(lineSettingsFor(m.BaudCode));
        port.setCommPort(m.ComPortNumber);
        port.setTarget("");  // the port's own mapping, not a device given in the dialog
        if (!port.open()) return failed(PortChoiceResult::Outcome::OpenFailed, port.lastOpenFailure());
        return {PortChoiceResult::Outcome::Opened, {}, false};
    }
    // No earlier settings to return to (always so in the dialog shown at start-up).
    PortChoiceResult result = failed(PortChoiceResult::Outcome::NoEarlierPort,
                                     "There is no earlier port to return to: choose a port and press OK.");
    if (port.isOpen()) {
        port.close();
        result.closedPort = true;
    }
    return result;
}

}  // namespace zelt
