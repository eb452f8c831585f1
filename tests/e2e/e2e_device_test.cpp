// The device itself: one that vanishes under the panel, and one that another program holds.
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <filesystem>

#include "port_dialog/form2.h"
#include "tests/e2e/panel_on_emulator.h"
#include "tests/support/port_holder.h"
#include "tests/support/temp_config.h"

namespace zelt::e2e {
namespace {

using E2eDevice = PanelOnEmulator;

TEST_F(E2eDevice, VanishedDeviceClosesThePortAndComReopensOnANewOne) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(statusLine(), " Stand by");
    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));

    // The device goes away: the port closes by itself, once.
    EmulatorProcess* first = emulator;
    first->signal(SIGUSR1);
    ASSERT_TRUE(waitUntil([&] { return !port->isOpen(); }));
    ASSERT_TRUE(waitUntil([&] { return first->hasExited(); }));
    EXPECT_EQ(first->exitStatus(), 0);
    EXPECT_TRUE(first->sawLine(" VANISH"));
    EXPECT_EQ(port->linesLost(), 1);

    // The event loop still runs.
    bool fired = false;
    QTimer::singleShot(10, [&fired] { fired = true; });
    ASSERT_TRUE(waitUntil([&] { return fired; }));
    EXPECT_EQ(port->linesLost(), 1);

    // A send now goes nowhere: the operator is told, the exchange does not start.
    ASSERT_NO_FATAL_FAILURE(click("Status"));
    EXPECT_FALSE(notice().isEmpty());
    EXPECT_TRUE(notice().startsWith("Not sent")) << notice().toStdString();
    EXPECT_EQ(sentLine(), "");
    EXPECT_FALSE(timer2().isEnabled());  // no exchange started: nothing is awaited
    EXPECT_FALSE(timer4().isEnabled());
    EXPECT_EQ(first->rxLines("CR0").size(), 1u);

    // A new device on port 3; "COM", "COM3", OK.
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NE(emulator, first);
    ASSERT_NE(com3Device, "");
    ASSERT_NO_FATAL_FAILURE(click("COM"));
    auto* dialog = form->findChild<Form2*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    auto* com3 = dialog->findChild<QRadioButton*>("Option5");
    ASSERT_NE(com3, nullptr);
    EXPECT_EQ(com3->toolTip().toStdString(), com3Device);
    QTest::mouseClick(com3, Qt::LeftButton);
    EXPECT_TRUE(com3->isChecked());
    ASSERT_NO_FATAL_FAILURE(confirmPortDialog());
    EXPECT_EQ(store.get("StartUP", "ComPort"), "3");
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "192");

    // Answered again, by the new device.
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    EXPECT_EQ(statusLine(), " Stand by");
    ASSERT_EQ(emulator->rxLines("CR0").size(), 1u);
    EXPECT_EQ(emulator->rxLines("CR0")[0].reply, "80\r");
}

TEST_F(E2eDevice, BusyDeviceIsNotTakenFromThePanel) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    // Another program's port on the same device.
    MemorySettingsStore otherStore;
    QtSerialPort other(otherStore, [this](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3") return com3Device;
        return std::nullopt;
    });
    other.setSettings(LineSettings{19200});
    other.setCommPort(3);
    EXPECT_FALSE(other.open());
    EXPECT_FALSE(other.isOpen());
    EXPECT_NE(other.lastOpenFailure().find("busy"), std::string::npos) << other.lastOpenFailure();
    EXPECT_NE(other.lastOpenFailure().find(com3Device), std::string::npos) << other.lastOpenFailure();

    // The panel keeps its line.
    EXPECT_TRUE(port->isOpen());
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    EXPECT_EQ(statusLine(), " Stand by");
    ASSERT_EQ(emulator->rxLines("CR0").size(), 1u);
}

// The emulator as a USB adapter under its stable name: started with a link to its device, ended
// (the adapter pulled: the device and the link go) and started again on the same link (plugged
// back in, behind a new device file).
class E2eReplug : public PanelOnEmulator {
protected:
    const std::string link = test::configDir() + "/projector-adapter";
    void plugIn() {
        ASSERT_NO_FATAL_FAILURE(startEmulator({"--link", link}));
        com3Device = link;  // port 3 names the link, not the device file
    }
    void pull() {
        emulator->stop();
        ASSERT_FALSE(std::filesystem::exists(link));
    }
    bool waitingShown() { return notice().startsWith("Line down: waiting for " + QString::fromStdString(link)); }
};

TEST_F(E2eReplug, ThePanelReopensItsDeviceByItselfWhenItIsPluggedBackIn) {
    ASSERT_NO_FATAL_FAILURE(plugIn());
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Status")) << replyLine();

    ASSERT_NO_FATAL_FAILURE(pull());
    ASSERT_TRUE(waitUntil([&] { return !port->isOpen() && waitingShown(); })) << notice().toStdString();
    EXPECT_TRUE(form->keeper().waiting());
    click("Status");  // beeps, and says why
    EXPECT_TRUE(notice().startsWith("Not sent: the line is down")) << notice().toStdString();

    ASSERT_NO_FATAL_FAILURE(plugIn());
    ASSERT_TRUE(waitUntil([&] { return port->isOpen(); })) << port->lastOpenFailure();
    EXPECT_TRUE(notice().isEmpty()) << notice().toStdString();
    EXPECT_FALSE(form->keeper().waiting());
    EXPECT_EQ(form->findChild<Form2*>(), nullptr);  // no dialog
    EXPECT_TRUE(retryMessages.empty());

    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    ASSERT_EQ(emulator->rxLines("CR0").size(), 1u);  // answered by the device plugged back in
}

TEST_F(E2eReplug, ADeviceTakenByAnotherProgramMeanwhileIsNotStolen) {
    ASSERT_NO_FATAL_FAILURE(plugIn());
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_NO_FATAL_FAILURE(pull());
    ASSERT_TRUE(waitUntil([&] { return waitingShown(); })) << notice().toStdString();

    // Plugged back in, and another program opens it before the panel looks again (the event loop
    // does not run meanwhile).
    ASSERT_NO_FATAL_FAILURE(plugIn());
    test::PortHolder other(link);
    ASSERT_TRUE(other.holding()) << other.startError();
    const QString holder =
        "busy: port-holder (PID " + QString::number(other.pid()) + ") has " + QString::fromStdString(link) + " open";
    ASSERT_TRUE(waitUntil([&] { return notice().contains(holder); })) << notice().toStdString();
    const int attempts = form->keeper().attempts();
    spin(1000);
    EXPECT_GT(form->keeper().attempts(), attempts);  // tried again, quietly
    EXPECT_FALSE(port->isOpen());
    EXPECT_FALSE(other.hasExited());  // the other program keeps it
    EXPECT_TRUE(notice().contains("busy")) << notice().toStdString();
    EXPECT_TRUE(retryMessages.empty());

    other.stop();  // it lets go: the panel takes it
    ASSERT_TRUE(waitUntil([&] { return port->isOpen(); })) << port->lastOpenFailure();
    EXPECT_TRUE(notice().isEmpty());
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
}

}  // namespace
}  // namespace zelt::e2e
