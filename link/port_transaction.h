#pragma once

#include <functional>
#include <string>

namespace zelt {

struct Module1;
class SerialPort;
class SettingsStore;

// What the port dialog's OK or Cancel came to; the dialog only shows it.
struct PortChoiceResult {
    enum class Outcome {
        Opened,         // the port is open with the choice (OK: and the choice is stored)
        NoPortChosen,   // OK without a port number in 1..15: nothing opened, nothing stored
        OpenFailed,     // the port did not open: nothing stored, the port closed
        NotStored,      // OK: the port opened but the choice could not be stored; closed again
        NoEarlierPort,  // Cancel without an earlier port to return to
    };
    Outcome outcome = Outcome::NoPortChosen;
    std::string reason;       // for "Retry Comport", when not Opened
    bool closedPort = false;  // NoEarlierPort: Cancel closed a port that was open (the dialog closes)

    bool opened() const { return outcome == Outcome::Opened; }
};

// OK: sets the speed from BaudCode, checks the port number, opens the port (with `device`, the
// device or address given to the chosen port in the dialog, when not empty; else with the port's
// own mapping), runs `opened` and stores ComPort and BaudRate, and the given device as the port's
// mapping ([Ports] COM<n>). A store that fails closes the port again and writes back what was
// stored before, so OK can simply be pressed again.
PortChoiceResult acceptPortChoice(Module1& module, SerialPort& port, SettingsStore& store, const std::string& device,
                                  const std::function<void()>& opened = {});

// Cancel: returns to the port and speed in force when "COM" was pressed (PreviousComPortNumber,
// PreviousBaudCode) and opens the port with them; stores nothing. Without an earlier port in 1..15
// it closes a port that is open and asks for a choice.
PortChoiceResult cancelPortChoice(Module1& module, SerialPort& port);

}  // namespace zelt
