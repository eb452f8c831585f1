#pragma once

#include <gtest/gtest.h>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/module1.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "platform/system/timer.h"
#include "testing/memory_settings_store.h"
#include "tests/support/emulator_process.h"
#include "tests/support/made_timers.h"
#include "tests/support/widgets.h"

class QComboBox;
class QPushButton;

namespace zelt::e2e {

using test::EmulatorProcess;
using test::RxLine;

// Long enough for a loaded machine; a test that waits this long has failed anyway.
inline constexpr int kGenerousMs = 15000;

bool endsWith(std::string_view text, std::string_view end);

// A whole reply has arrived once its carriage return shows on the reply line.
inline bool replyComplete(const std::string& replyLine) { return endsWith(replyLine, "[CR] "); }

// The control panel on the emulator: the main window built as the program builds it, on a real
// serial port whose port 3 is the emulator's pseudo-terminal, with port 3 at 19200 bit/s stored.
class PanelOnEmulator : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts an emulator with --log and these options; it becomes `emulator`, and port 3 (the
    // ZELT_COM3 lookup) names its device from now on. Earlier emulators keep running until the
    // end of the test unless they stop by themselves.
    void startEmulator(std::vector<std::string> options);
    // As app/main.cpp: builds the main window, runs Form_Load (the port must open) and shows it.
    void startPanel();

    // Runs the event loop until `done` holds; false when it still does not after `timeoutMs`. The
    // emulators' logs are read meanwhile on threads of their own.
    bool waitUntil(const std::function<bool()>& done, int timeoutMs = kGenerousMs);
    // Runs the event loop for about `ms`.
    void spin(int ms);

    // The push button of the main window with this caption (in the frame with this heading).
    QPushButton* panelButton(const QString& caption, const QString& heading = {});
    void click(const QString& caption, const QString& heading = {});

    // The window's timers, as it made them.
    Timer& timer1() { return timers[0]; }
    Timer& timer2() { return timers[1]; }
    Timer& timer4() { return timers[2]; }
    // The display lines: sent text (Label11), reply (Label12), status phrase (Label25).
    std::string sentLine() const;
    std::string replyLine() const;
    std::string statusLine() const;
    // The "Not sent" notice while it shows, else empty.
    QString notice() const;

    // The display is at rest: the last exchange has ended and its lines were cleared.
    bool displayIdle();
    // An exchange that starts at rest: waits for the display to clear, clicks the send button
    // with this caption and waits for the whole reply and for the emulator's log of the command.
    // Returns false when either did not come.
    bool query(const QString& caption);

    // The command list window while it exists; openCommandList() opens it with "Command Table"
    // if it is not open yet.
    Form3* commandList() const;
    Form3* openCommandList();
    // In the command list window: shows the list of `listButton` ("Basic Command List", "Expand
    // Command List", "Expand Read Command List"), chooses the item whose text begins with
    // `itemStart` as the operator does and returns the list; nullptr when no item begins so.
    QComboBox* chooseInCommandList(const QString& listButton, const char* comboName, std::string_view itemStart);
    // Clicks "SEND" in the command list window.
    void sendFromCommandList();

    // Clicks "OK" in the open port dialog and checks the outcome an operator sees: no "Retry
    // Comport", the port open and the dialog gone. Call with ASSERT_NO_FATAL_FAILURE.
    void confirmPortDialog();

    std::string com3Device;  // what the ZELT_COM3 lookup returns; empty: not set
    Module1 module;
    MemorySettingsStore store;
    std::unique_ptr<LinePort> port;
    test::MadeTimers<> timers;
    std::unique_ptr<Form1> form;
    std::vector<QString> retryMessages;  // the dialog's "Retry Comport" reasons, never shown
    std::vector<std::unique_ptr<EmulatorProcess>> emulators;
    EmulatorProcess* emulator = nullptr;  // the newest
};

}  // namespace zelt::e2e
