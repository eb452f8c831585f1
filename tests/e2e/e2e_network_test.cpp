// The panel on a serial line over the network: the emulator's pseudo-terminal behind a real
// ser2net on 127.0.0.1, reached as tcp:// (raw) and as rfc2217:// (telnet, the speed set from here).
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <csignal>
#include <memory>

#include "port_dialog/form2.h"
#include "tests/e2e/panel_on_emulator.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net_process.h"

namespace zelt::e2e {
namespace {

using test::Ser2netProcess;
using Mode = Ser2netProcess::Mode;

class E2eNetwork : public PanelOnEmulator, public ::testing::WithParamInterface<Mode> {
protected:
    void TearDown() override {
        form.reset();
        port.reset();
        ser2net.reset();
        PanelOnEmulator::TearDown();
    }

    // The emulator (19200 bit/s), ser2net in front of it (its own speed 19200 for raw), port 3 the
    // address, and the panel started on it.
    void startOnNetwork() {
        ASSERT_NO_FATAL_FAILURE(startEmulator({"--warmup-seconds", "60"}));  // counts down all through
        ser2net =
            std::make_unique<Ser2netProcess>(Ser2netProcess::Options{emulator->devicePath(), GetParam(), "19200n81"});
        ASSERT_TRUE(ser2net->started()) << ser2net->startError();
        com3Device = ser2net->address();
        ASSERT_NO_FATAL_FAILURE(startPanel());
    }

    // "COM", the speed option, "OK": the port closes and opens again at that speed.
    void chooseSpeed(const char* option) {
        ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));
        ASSERT_NO_FATAL_FAILURE(click("COM"));
        auto* dialog = form->findChild<Form2*>();
        ASSERT_NE(dialog, nullptr);
        auto* speed = dialog->findChild<QRadioButton*>(option);
        ASSERT_NE(speed, nullptr);
        QTest::mouseClick(speed, Qt::LeftButton);
        ASSERT_NO_FATAL_FAILURE(confirmPortDialog());
    }
    int ptySpeed() const { return test::terminalSpeed(emulator->devicePath()); }

    std::unique_ptr<Ser2netProcess> ser2net;
};

TEST_P(E2eNetwork, PowerOnAndADecodedStatus) {
    ASSERT_NO_FATAL_FAILURE(startOnNetwork());
    ASSERT_TRUE(query("Status")) << replyLine() << "\n" << ser2net->output();
    EXPECT_EQ(statusLine(), " Stand by");

    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));
    ASSERT_NO_FATAL_FAILURE(click("On", "Power"));
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("C00").empty(); }));
    EXPECT_EQ(emulator->rxLines("C00").front().value("power"), "countdown");
    ASSERT_TRUE(waitUntil([&] { return endsWith(replyLine(), "[ACK] "); })) << replyLine();

    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 4 0  [CR] ");
    EXPECT_EQ(statusLine(), " Count down");
}

// Over rfc2217:// the dialog's speed reaches the pseudo-terminal; over tcp:// the speed is
// ser2net's (the converter's) and stays, while the chosen one is still stored.
TEST_P(E2eNetwork, ASpeedChosenInThePortDialog) {
    ASSERT_NO_FATAL_FAILURE(startOnNetwork());
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(ptySpeed(), 19200);
    const int slow = GetParam() == Mode::Rfc2217 ? 9600 : 19200;

    ASSERT_NO_FATAL_FAILURE(chooseSpeed("Option1"));  // "9600"
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "96");
    ASSERT_TRUE(waitUntil([&] { return ptySpeed() == slow; }, 5000)) << ptySpeed();
    if (GetParam() == Mode::Raw) {
        ASSERT_TRUE(query("Status")) << replyLine();  // the line still runs at 19200
        EXPECT_EQ(statusLine(), " Stand by");
    }

    ASSERT_NO_FATAL_FAILURE(chooseSpeed("Option2"));  // "19200"
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "192");
    ASSERT_TRUE(waitUntil([&] { return ptySpeed() == 19200; }, 5000)) << ptySpeed();
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(statusLine(), " Stand by");
}

TEST_P(E2eNetwork, Ser2netEndedAndStartedAgainIsReconnectedByItself) {
    ASSERT_NO_FATAL_FAILURE(startOnNetwork());
    ASSERT_TRUE(query("Status")) << replyLine();
    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));

    ser2net->endWith(SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return !port->isOpen() && form->keeper().waiting(); }));
    EXPECT_EQ(port->linesLost(), 1);
    EXPECT_TRUE(notice().startsWith("Line down: reconnecting to " + QString::fromStdString(ser2net->address())))
        << notice().toStdString();

    ASSERT_TRUE(ser2net->restart()) << ser2net->startError();
    ASSERT_TRUE(waitUntil([&] { return port->isOpen(); })) << port->lastOpenFailure();
    EXPECT_TRUE(notice().isEmpty()) << notice().toStdString();
    EXPECT_FALSE(form->keeper().waiting());
    EXPECT_EQ(form->findChild<Form2*>(), nullptr);  // no dialog
    EXPECT_TRUE(retryMessages.empty());

    const size_t before = emulator->rxLines("CR0").size();
    ASSERT_TRUE(query("Status")) << replyLine() << "\n" << ser2net->output();
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    EXPECT_EQ(emulator->rxLines("CR0").size(), before + 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, E2eNetwork, ::testing::Values(Mode::Raw, Mode::Rfc2217),
                         [](const auto& info) { return info.param == Mode::Raw ? "Raw" : "Rfc2217"; });

}  // namespace
}  // namespace zelt::e2e
