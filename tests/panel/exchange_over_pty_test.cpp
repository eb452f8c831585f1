#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/module1.h"
#include "panel/form1.h"
#include "platform/memory_settings_store.h"
#include "platform/qt_serial_port.h"
#include "platform/timer.h"
#include "tests/support/pty_pair.h"

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
    Form1 form({module, port, store, {}, {}, {}, [] {}});
    form.Form_Load();
    ASSERT_TRUE(port.isOpen());
    form.show();
    auto* legend = form.findChild<QLabel*>("Label28");

    QTest::mouseClick(form.findChild<QPushButton*>("Command44"), Qt::LeftButton);
    EXPECT_EQ(pty.receive(4, 2000), "CR0\r");
    EXPECT_EQ(form.sentLine(), " C R 0  [CR] ");
    EXPECT_EQ(form.replyLine(), "");
    EXPECT_TRUE(legend->isVisible());
    EXPECT_EQ(form.AwaitingReply(), 1);

    pty.send("00\r");
    ASSERT_TRUE(waitUntil([&] { return form.statusLine() == " Power ON"; }, 900));
    EXPECT_EQ(form.replyLine(), " 0 0  [CR] ");
    EXPECT_EQ(form.findChild<QLabel*>("Label12")->text(), " 0 0  [CR] ");
    EXPECT_EQ(form.findChild<QLabel*>("Label25")->text(), " Power ON");
    EXPECT_EQ(form.AwaitingReply(), 0);

    // End of exchange: the legend goes, the reply stays until the clearing.
    ASSERT_TRUE(waitUntil([&] { return !legend->isVisible(); }, 3000));
    EXPECT_EQ(form.replyLine(), " 0 0  [CR] ");
    EXPECT_EQ(form.ReceiveBuffer(), "");
    ASSERT_TRUE(waitUntil([&] { return form.sentLine().empty(); }, 3000));
    EXPECT_EQ(form.replyLine(), "");
    EXPECT_EQ(form.statusLine(), "");
    EXPECT_FALSE(form.Timer2().isEnabled());
    EXPECT_FALSE(form.Timer4().isEnabled());
}

}  // namespace
}  // namespace zelt
