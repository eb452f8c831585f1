#include "link/startup.h"

#include "link/module1.h"
#include "link/timing.h"
#include "platform/line/line_choice.h"
#include "platform/line/port_choice.h"
#include "platform/serial/serial_port.h"

namespace zelt {

StartupOutcome runStartup(Module1& module, SerialPort& port, SettingsStore& store, StartupWindow& window) {
    window.setOuterHeight(kCompactOuterHeight);

    // Nothing stored reads as 0: the dialog comes first, and the speed is not read.
    const auto stored = storedPortNumber(store);
    module.ComPortNumber = stored.value_or(0);
    if (!stored || !isValidPort(module.ComPortNumber)) {
        window.showPortDialogModal();
        return StartupOutcome::DialogNoValidPort;
    }

    module.BaudCode = storedBaudCode(store);
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
