#include "link/startup.h"

#include "link/module1.h"
#include "link/stored_number.h"
#include "link/timing.h"
#include "platform/line/port_choice.h"
#include "platform/serial/serial_port.h"
#include "platform/settings/settings_store.h"

namespace zelt {

StartupOutcome runStartup(Module1& module, SerialPort& port, SettingsStore& store, StartupWindow& window) {
    window.setOuterHeight(kCompactOuterHeight);

    // Nothing stored reads the defaults, which read as 0: the dialog comes first.
    const auto stored =
        readPortNumber(store.read(kSettingsApplication, kStartupSection, kComPortKey, kComPortFallback));
    module.ComPortNumber = stored.value_or(0);
    if (!stored || !isValidPort(module.ComPortNumber)) {
        window.showPortDialogModal();
        return StartupOutcome::DialogNoValidPort;
    }

    module.BaudCode = readBaudCode(store.read(kSettingsApplication, kStartupSection, kBaudRateKey, kBaudRateFallback));
    port.setSettings(lineSettingsFor(module.BaudCode));
    port.setCommPort(module.ComPortNumber);

    if (!port.open()) {
        // No message here: the dialog is the answer to a port that does not open.
        window.showPortDialogModal();
        return StartupOutcome::DialogOpenFailed;
    }

    window.setExchangeIntervals(kStartupTimer2, kStartupTimer4);
    const double left = (window.screenWidth() - window.outerWidth()) / 2.0;
    const double top = (window.screenHeight() - window.outerHeight()) / 2.0 - kTopAboveCentre;
    window.move(left, top);
    window.resetExchange();
    return StartupOutcome::Opened;
}

void prepareComDialog(Module1& module, SerialPort& port) {
    if (port.isOpen()) port.close();
    module.PreviousBaudCode = module.BaudCode;
    module.PreviousComPortNumber = module.ComPortNumber;
}

}  // namespace zelt
