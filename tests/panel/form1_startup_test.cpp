#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "link/module1.h"
#include "link/startup.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/settings/qt_settings_store.h"
#include "platform/system/qt_timer.h"
#include "platform/system/timer.h"
#include "port_dialog/form2.h"
#include "testing/fake_device_catalog.h"
#include "testing/fake_serial_port.h"
#include "testing/memory_settings_store.h"
#include "tests/support/made_timers.h"
#include "tests/support/panel_harness.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"
#include "tests/support/widgets.h"
#include "ui/twips.h"

namespace zelt {
namespace {

struct MainWindow : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    std::vector<QString> retries;
    int ends = 0;
    test::MadeTimers<> timers;  // the window's own Qt timers
    std::unique_ptr<Form1> form;

    void make() {
        form = test::makeForm1({.module = module,
                                .port = port,
                                .store = store,
                                .deviceFor = [](int n) { return "/dev/ttyS" + std::to_string(n - 1); },
                                .makeTimer = timers.factory([](int ms) { return std::make_unique<QtTimer>(ms); }),
                                .retryMessage = [this](QWidget*, const QString& r) { retries.push_back(r); },
                                .endSystem = [this] { ++ends; }});
    }
    Timer& timer2() { return timers[1]; }
    Timer& timer4() { return timers[2]; }
    // The port dialog, while it exists.
    Form2* portDialog() { return form->findChild<Form2*>(); }
    QPushButton* captioned(const QString& caption) { return test::buttonByCaption(form.get(), caption); }
    // Plays the operator in the modal dialog that start-up shows.
    void whenDialogShows(std::function<void(Form2*)> act) {
        QTimer::singleShot(0, [act = std::move(act)] {
            auto* dialog = qobject_cast<Form2*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "start-up showed no modal dialog";
            act(dialog);
            if (dialog->isVisible()) dialog->close();
        });
    }
    QPushButton* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }
};

TEST_F(MainWindow, IsTheTitledGreyCompactWindowBeforeStartUp) {
    make();
    EXPECT_EQ(form->windowTitle(), "ZELT   QX480  CONTROL");
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(form->width(), px(10185));
    EXPECT_EQ(form->height(), px(5300));
    EXPECT_EQ(timer2().interval(), 5000);
    EXPECT_EQ(timer4().interval(), 5500);
    EXPECT_FALSE(timer2().isEnabled());
    EXPECT_EQ(button(form.get(), "Command33")->text(), "COM");
    EXPECT_EQ(button(form.get(), "Command16")->text(), "END");
    EXPECT_EQ(button(form.get(), "Command16")->geometry(), pxRect(8520, 4680, 1500, 375));
}

TEST_F(MainWindow, FirstRunShowsTheDialogBeforeTheWindowAndItsOkOpensAndStores) {
    make();
    bool mainVisibleDuringDialog = true;
    whenDialogShows([&](Form2* d) {
        mainVisibleDuringDialog = form->isVisible();
        d->findChild<QRadioButton*>("Option5")->click();  // COM3
        QTest::mouseClick(test::buttonByCaption(d, "OK"), Qt::LeftButton);
    });
    form->Form_Load();
    EXPECT_FALSE(mainVisibleDuringDialog);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{3});
    EXPECT_EQ(store.get("StartUP", "ComPort"), "3");
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "192");
    EXPECT_EQ(timer2().interval(), 5000);  // the dialog path keeps the long intervals
    EXPECT_EQ(timer4().interval(), 5500);
    EXPECT_TRUE(retries.empty());
}

TEST_F(MainWindow, AFailedOpenShowsTheDialogWithoutAMessage) {
    store.put("StartUP", "ComPort", "2");
    port.failOpen = true;
    make();
    bool shown = false;
    whenDialogShows([&](Form2*) { shown = true; });  // closed from its title bar
    form->Form_Load();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(retries.empty());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(timer2().interval(), 5000);
    EXPECT_EQ(timer4().interval(), 5500);
    EXPECT_TRUE(store.writes.empty());
}

TEST_F(MainWindow, ASuccessfulStartCentresTheWindow1350TwipsAboveTheMiddle) {
    store.put("StartUP", "ComPort", "3");
    make();
    form->Form_Load();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(timer2().interval(), 1000);
    EXPECT_EQ(timer4().interval(), 1200);
    const QRect screen = form->screen()->geometry();
    const double outerH = twips(form->height()) + kFrameAllowance;
    const double outerW = twips(form->frameGeometry().width());
    EXPECT_EQ(form->pos().x(), px((twips(screen.width()) - outerW) / 2));
    EXPECT_EQ(form->pos().y(), px((twips(screen.height()) - outerH) / 2 - 1350));
}

TEST_F(MainWindow, ComClosesThePortAndShowsOneModelessDialog) {
    store.put("StartUP", "ComPort", "4");
    store.put("StartUP", "BaudRate", "96");
    make();
    form->Form_Load();
    form->show();
    QTest::mouseClick(captioned("COM"), Qt::LeftButton);
    EXPECT_FALSE(port.isOpen());
    Form2* dialog = portDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("Option6")->isChecked());  // COM4
    EXPECT_EQ(module.PreviousComPortNumber, 4);
    EXPECT_EQ(module.PreviousBaudCode, 96);
    // Again while open: the same dialog, not reloaded, and the current choice remembered.
    dialog->findChild<QRadioButton*>("Option4")->click();  // COM2
    QTest::mouseClick(captioned("COM"), Qt::LeftButton);
    EXPECT_EQ(portDialog(), dialog);
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("Option4")->isChecked());
    EXPECT_EQ(module.PreviousComPortNumber, 2);
    // Cancel returns to port 2 at 9600, as remembered by the second "COM".
    QTest::mouseClick(test::buttonByCaption(dialog, "Cancel"), Qt::LeftButton);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedPorts.back(), 2);
    EXPECT_EQ(port.openedSettings.back(), LineSettings{9600});
}

TEST_F(MainWindow, EndAndClosingCloseThePort) {
    store.put("StartUP", "ComPort", "4");
    make();
    form->Form_Load();
    form->show();
    QTest::mouseClick(captioned("COM"), Qt::LeftButton);  // dialog open, port closed
    QTest::mouseClick(test::buttonByCaption(portDialog(), "Cancel"), Qt::LeftButton);
    ASSERT_TRUE(port.isOpen());
    QTest::mouseClick(captioned("END"), Qt::LeftButton);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(store.writes.empty());
    // Closing again with the port closed leaves the port alone.
    const int closes = port.closes;
    form->show();
    form->close();
    EXPECT_EQ(port.closes, closes);
}

TEST_F(MainWindow, ClosingTheWindowClosesTheModelessDialogToo) {
    store.put("StartUP", "ComPort", "4");
    make();
    form->Form_Load();
    form->show();
    QTest::mouseClick(captioned("COM"), Qt::LeftButton);
    QPointer<Form2> dialog = portDialog();
    form->close();
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());
    EXPECT_TRUE(store.writes.empty());
}

// The whole start-up over a real pseudo-terminal: the environment maps port 3 to the pty, the
// stored settings name port 3 at 9600 bit/s.
TEST(MainWindowOverPty, OpensTheStoredPortAtTheStoredSpeed) {
    test::PtyPair pty;
    setenv("ZELT_COM3", pty.slavePath().c_str(), 1);
    std::filesystem::remove(test::settingsFile());
    QtSettingsStore store;
    ASSERT_TRUE(store.write("ZELT", "StartUP", "ComPort", "3"));
    ASSERT_TRUE(store.write("ZELT", "StartUP", "BaudRate", "96"));
    QtSerialPort port(store, systemEnvironment());
    Module1 module;
    const auto form = test::makeForm1(
        {.module = module, .port = port, .store = store, .deviceFor = [&](int n) { return port.deviceFor(n); }});
    form->Form_Load();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(module.ComPortNumber, 3);
    EXPECT_EQ(module.BaudCode, 96);
    EXPECT_EQ(pty.slaveSpeed(), 9600);
    form->close();
    EXPECT_FALSE(port.isOpen());
    unsetenv("ZELT_COM3");
}

// A new user's first start: no settings, an adapter that is not COM1 to COM5's device. The dialog
// gives it to port 3, OK stores that, and the next start opens it without the dialog.
TEST(MainWindowOverPty, ADeviceGivenInTheDialogIsStoredAndOpensAtTheNextStart) {
    test::PtyPair pty;  // typed, as pseudo-terminals are never listed
    MemorySettingsStore store;
    FakeDeviceCatalog devices;
    const EnvLookup noEnvironment = [](const std::string&) { return std::nullopt; };
    int speed = 0;
    auto start = [&](const std::function<void(Form2*)>& operatorActs) {
        LinePort port(store, noEnvironment);
        Module1 module;
        const auto form = test::makeForm1({.module = module,
                                           .port = port,
                                           .store = store,
                                           .deviceFor = [&port](int n) { return port.targetFor(n); },
                                           .devices = &devices});
        bool dialogShown = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<Form2*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            dialogShown = true;
            operatorActs(dialog);
            if (dialog->isVisible()) dialog->close();
        });
        form->Form_Load();
        EXPECT_TRUE(port.isOpen()) << port.lastOpenFailure();
        speed = pty.slaveSpeed();
        form->close();
        return dialogShown;
    };
    EXPECT_TRUE(start([&](Form2* d) {
        d->findChild<QRadioButton*>("Option5")->click();  // COM3
        d->findChild<QLineEdit*>("DeviceText")->setText(QString::fromStdString(pty.slavePath()));
        QTest::mouseClick(test::buttonByCaption(d, "Use for COM3"), Qt::LeftButton);
        QTest::mouseClick(test::buttonByCaption(d, "OK"), Qt::LeftButton);
    }));
    EXPECT_EQ(store.get("Ports", "COM3"), pty.slavePath());
    EXPECT_EQ(store.get("StartUP", "ComPort"), "3");
    EXPECT_FALSE(start([](Form2*) {}));  // straight to the stored device
    EXPECT_EQ(speed, 19200);
}

}  // namespace
}  // namespace zelt

namespace zelt {
namespace {

// The real settings file in awkward states: start-up goes on to the dialog, and a choice that
// cannot be written is reported rather than lost.
struct DamagedSettings : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    QtSettingsStore store;
    std::vector<QString> retries;
    void SetUp() override { std::filesystem::remove_all(test::settingsFile()); }
    void TearDown() override { std::filesystem::remove_all(test::settingsFile()); }
    std::unique_ptr<Form1> make() {
        return test::makeForm1(
            {.module = module, .port = port, .store = store, .retryMessage = [this](QWidget*, const QString& r) {
                 retries.push_back(r);
             }});
    }
};

TEST_F(DamagedSettings, AGarbledFileLeadsToTheDialogAtStartUp) {
    static const char garble[] = "\xff\xfe[StartUP\nComPort=\x01\x02\n\0\0";
    std::ofstream(test::settingsFile(), std::ios::binary) << std::string(garble, sizeof garble - 1);
    auto form = make();
    bool dialog = false;
    QTimer::singleShot(0, [&] {
        dialog = QApplication::activeModalWidget() != nullptr;
        if (auto* d = QApplication::activeModalWidget()) d->close();
    });
    form->Form_Load();
    EXPECT_TRUE(dialog);
    EXPECT_FALSE(port.isOpen());
}

TEST_F(DamagedSettings, AnUnwritableFileMakesOkReportAndStoreNothing) {
    std::filesystem::create_directories(test::settingsFile());  // no one can write a folder as a file
    auto form = make();
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<Form2*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->findChild<QRadioButton*>("Option3")->click();
        QTest::mouseClick(test::buttonByCaption(d, "OK"), Qt::LeftButton);
        EXPECT_TRUE(d->isVisible());  // still open for another try
        d->close();
    });
    form->Form_Load();
    ASSERT_EQ(retries.size(), 1u);
    EXPECT_TRUE(retries[0].contains("could not be saved")) << retries[0].toStdString();
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace zelt
