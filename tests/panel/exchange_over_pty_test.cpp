#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "link/module1.h"
#include "panel/form1.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/system/qt_timer.h"
#include "platform/system/timer.h"
#include "testing/memory_settings_store.h"
#include "tests/support/made_timers.h"
#include "tests/support/panel_harness.h"
#include "tests/support/pty_pair.h"
#include "tests/support/widgets.h"

namespace zelt {
namespace {

// Runs the event loop until `done` holds; false after `ms`.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(2);
    }
    return true;
}

// One status query over a real serial line, with the window's own timers and the start-up
// intervals (1000 ms to the end of the exchange, 1200 ms to the clearing).
TEST(ExchangeOverPty, StatusQueryRepliedDecodedEndedAndCleared) {
    test::PtyPair pty;
    MemorySettingsStore store;
    store.put("StartUP", "ComPort", "3");
    QtSerialPort port(store, [&](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3") return pty.slavePath();
        return std::nullopt;
    });
    Module1 module;
    test::MadeTimers<> timers;  // Timer1, Timer2, Timer4: the window's own Qt timers
    const auto form =
        test::makeForm1({.module = module, .port = port, .store = store, .makeTimer = timers.factory([](int ms) {
                             return std::make_unique<QtTimer>(ms);
                         })});
    form->Form_Load();
    ASSERT_TRUE(port.isOpen());
    form->show();
    auto* legend = form->findChild<QLabel*>("Label28");
    const auto line = [&form](const char* label) { return test::labelText(form.get(), label); };

    QTest::mouseClick(test::buttonByCaption(form.get(), "Status"), Qt::LeftButton);
    EXPECT_EQ(pty.receive(4, 2000), "CR0\r");
    EXPECT_EQ(line("Label11"), " C R 0  [CR] ");
    EXPECT_EQ(line("Label12"), "");
    EXPECT_TRUE(legend->isVisible());
    EXPECT_TRUE(timers[1].isEnabled());  // the exchange runs, awaiting the reply

    pty.send("00\r");
    ASSERT_TRUE(waitUntil([&] { return line("Label25") == " Power ON"; }, 900));
    EXPECT_EQ(line("Label12"), " 0 0  [CR] ");

    // End of exchange: the legend goes, the reply stays (it came: no "X X X X") until the clearing.
    ASSERT_TRUE(waitUntil([&] { return !legend->isVisible(); }, 3000));
    EXPECT_EQ(line("Label12"), " 0 0  [CR] ");
    EXPECT_EQ(form->ReceiveBuffer(), "");
    ASSERT_TRUE(waitUntil([&] { return line("Label11").empty(); }, 3000));
    EXPECT_EQ(line("Label12"), "");
    EXPECT_EQ(line("Label25"), "");
    EXPECT_FALSE(timers[1].isEnabled());
    EXPECT_FALSE(timers[2].isEnabled());
}

}  // namespace
}  // namespace zelt
