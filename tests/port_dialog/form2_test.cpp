#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "link/module1.h"
#include "platform/fake_serial_port.h"
#include "platform/memory_settings_store.h"
#include "port_dialog/form2.h"

namespace zelt {
namespace {

struct PortDialog : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    std::vector<QString> retries;
    int mainShown = 0;
    Form2* dialog = nullptr;

    void load() {
        Form2::Services s{module,
                          port,
                          store,
                          [](int n) { return "/dev/ttyUSB" + std::to_string(n - 1); },
                          [this] { ++mainShown; },
                          [this](QWidget*, const QString& reason) { retries.push_back(reason); }};
        dialog = new Form2(std::move(s));
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);  // the test inspects it after closing
        dialog->Form_Load();
        dialog->show();
    }
    void TearDown() override { delete dialog; }

    QRadioButton* option(const char* name) { return dialog->findChild<QRadioButton*>(name); }
    QRadioButton* com(int n) { return option(("Option" + std::to_string(n + 2)).c_str()); }
    QLineEdit* other() { return dialog->findChild<QLineEdit*>("Text1"); }
    void click(const char* name) { QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton); }
    void ok() { click("Command1"); }
    void cancel() { click("Command2"); }
    void typeOther(const QString& text) {
        other()->selectAll();
        QTest::keyClicks(other(), text);
    }
    int checkedPorts() {
        int n = 0;
        for (int i = 1; i <= 5; ++i) n += com(i)->isChecked();
        return n;
    }
};

TEST_F(PortDialog, FirstRunLoadsWith19200NoPortAndTheOtherBoxReady) {
    load();
    EXPECT_EQ(dialog->windowTitle(), "  COM PORT");
    EXPECT_EQ(checkedPorts(), 0);
    EXPECT_TRUE(option("Option2")->isChecked());
    EXPECT_FALSE(option("Option1")->isChecked());
    EXPECT_EQ(module.BaudCode, 192);
    EXPECT_EQ(port.settings(), "19200,N,8,1");
    EXPECT_EQ(other()->text(), "0");
    EXPECT_EQ(other()->selectedText(), "0");
    EXPECT_EQ(dialog->focusWidget(), other());
    EXPECT_EQ(com(3)->toolTip(), "/dev/ttyUSB2");
    // OK without a choice: the message, nothing stored, port closed, dialog stays.
    ok();
    ASSERT_EQ(retries.size(), 1u);
    EXPECT_TRUE(store.writes.empty());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PortDialog, LoadSelectsTheCurrentPortAndSpeed) {
    module.ComPortNumber = 4;
    module.BaudCode = 96;
    load();
    EXPECT_TRUE(com(4)->isChecked());
    EXPECT_EQ(checkedPorts(), 1);
    EXPECT_TRUE(option("Option1")->isChecked());
    EXPECT_EQ(port.settings(), "9600,N,8,1");
    EXPECT_EQ(module.ComPortNumber, 4);
    EXPECT_EQ(module.BaudCode, 96);
}

TEST_F(PortDialog, TabEntersEachGroupAtItsSelectedOptionAndArrowsMoveWithin) {
    module.ComPortNumber = 3;
    module.BaudCode = 192;
    load();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    other()->setFocus();
    auto tab = [](Qt::Key key = Qt::Key_Tab) { QTest::keyClick(QApplication::focusWidget(), key); };
    tab();
    EXPECT_EQ(QApplication::focusWidget(), option("Option2"));
    tab();
    EXPECT_EQ(QApplication::focusWidget(), com(3));
    tab();
    EXPECT_EQ(QApplication::focusWidget(), dialog->findChild<QPushButton*>("Command1"));
    tab(Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), com(3));
    tab(Qt::Key_Down);  // moves and chooses
    EXPECT_TRUE(com(4)->isChecked());
    EXPECT_EQ(module.ComPortNumber, 4);
    tab();
    tab(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), com(4));
    tab(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), option("Option2"));
}

TEST_F(PortDialog, APortOutsideTheOptionsOpensThroughOkAsItIs) {
    module.ComPortNumber = 7;
    load();
    EXPECT_EQ(checkedPorts(), 0);
    EXPECT_EQ(other()->text(), "0");
    ok();
    EXPECT_TRUE(retries.empty());
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{7});
    EXPECT_EQ(store.get("StartUP", "ComPort"), "7");
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "192");
}

TEST_F(PortDialog, TheOtherBoxTakesOnly1To15) {
    load();
    module.ComPortNumber = 5;
    struct Case {
        const char* text;
        bool typed;  // typed key by key, or set in one change
        const char* box;
        int16_t port;
    };
    const Case cases[] = {
        {"12", true, "12", 12}, {"0", true, "0", 12},    {"120", false, "0", 12},
        {"16", true, "0", 1},  // "1" counts on the way
        {"7", true, "7", 7},    {"255", false, "0", 7},  {"999", false, "0", 7},
        {"15", true, "15", 15}, {"abc", true, "15", 15},  // letters are refused
    };
    for (const Case& c : cases) {
        if (c.typed)
            typeOther(c.text);
        else
            other()->setText(c.text);
        EXPECT_EQ(other()->text(), c.box) << c.text;
        EXPECT_EQ(module.ComPortNumber, c.port) << c.text;
    }
    other()->selectAll();
    other()->insert("0012");  // a paste is cut to three digits
    EXPECT_EQ(other()->text(), "001");
    EXPECT_EQ(module.ComPortNumber, 1);
    other()->selectAll();
    other()->insert("012");
    EXPECT_EQ(other()->text(), "012");
    EXPECT_EQ(module.ComPortNumber, 12);
}

TEST_F(PortDialog, TheLastChoiceByOptionOrBoxIsInForce) {
    load();
    typeOther("7");
    EXPECT_EQ(module.ComPortNumber, 7);
    com(3)->click();
    EXPECT_EQ(module.ComPortNumber, 3);
    EXPECT_EQ(other()->text(), "7");
    typeOther("9");
    EXPECT_EQ(module.ComPortNumber, 9);
    EXPECT_TRUE(com(3)->isChecked());
    // An emptied box leaves the port and the box alone while the operator types.
    other()->selectAll();
    QTest::keyClick(other(), Qt::Key_Backspace);
    EXPECT_EQ(other()->text(), "");
    EXPECT_EQ(module.ComPortNumber, 9);
    // The option still shown as selected, clicked again, is chosen again.
    QTest::mouseClick(com(3), Qt::LeftButton);
    EXPECT_EQ(module.ComPortNumber, 3);
}

TEST_F(PortDialog, OkOpensStoresClosesAndShowsTheMainWindow) {
    load();
    com(2)->click();
    option("Option1")->click();
    ok();
    EXPECT_TRUE(retries.empty());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{2});
    EXPECT_EQ(port.openedSettings, std::vector<std::string>{"9600,N,8,1"});
    EXPECT_EQ(store.get("StartUP", "ComPort"), "2");
    EXPECT_EQ(store.get("StartUP", "BaudRate"), "96");
    EXPECT_EQ(store.writes, (std::vector<std::string>{"ZELT/StartUP/ComPort", "ZELT/StartUP/BaudRate"}));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(mainShown, 1);
}

TEST_F(PortDialog, AFailedOpenStoresNothingAndLetsTheOperatorChooseAgain) {
    load();
    port.failingPorts = {2};
    port.failureText = "/dev/ttyS1: no such device";
    com(2)->click();
    ok();
    ASSERT_EQ(retries.size(), 1u);
    EXPECT_EQ(retries[0], "/dev/ttyS1: no such device");
    EXPECT_TRUE(store.writes.empty());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(mainShown, 0);
    com(3)->click();
    ok();
    EXPECT_EQ(retries.size(), 1u);
    EXPECT_EQ(store.get("StartUP", "ComPort"), "3");
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(PortDialog, AChoiceThatCannotBeStoredIsReportedAndTheOkCanBeRepeated) {
    load();
    com(1)->click();
    store.failWrites = true;
    ok();
    ASSERT_EQ(retries.size(), 1u);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(dialog->isVisible());
    store.failWrites = false;
    ok();
    EXPECT_EQ(retries.size(), 1u);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(store.get("StartUP", "ComPort"), "1");
}

TEST_F(PortDialog, CancelReturnsToThePreviousPortWithoutStoring) {
    module.ComPortNumber = module.PreviousComPortNumber = 4;
    module.BaudCode = module.PreviousBaudCode = 96;
    load();
    com(2)->click();
    option("Option2")->click();
    cancel();
    EXPECT_TRUE(retries.empty());
    EXPECT_EQ(module.ComPortNumber, 4);
    EXPECT_EQ(module.BaudCode, 96);
    EXPECT_EQ(port.openedPorts, std::vector<int16_t>{4});
    EXPECT_EQ(port.openedSettings, std::vector<std::string>{"9600,N,8,1"});
    EXPECT_TRUE(store.writes.empty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(mainShown, 1);
}

TEST_F(PortDialog, CancelWhosePreviousPortFailsKeepsThePreviousChoiceShown) {
    module.ComPortNumber = module.PreviousComPortNumber = 4;
    module.BaudCode = module.PreviousBaudCode = 96;
    load();
    option("Option2")->click();
    port.failOpen = true;
    cancel();
    EXPECT_EQ(retries.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(module.ComPortNumber, 4);
    EXPECT_EQ(module.BaudCode, 96);
    EXPECT_TRUE(option("Option1")->isChecked());
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PortDialog, CancelWithoutAPreviousPortAsksForAChoice) {
    load();
    com(2)->click();
    cancel();
    EXPECT_EQ(retries.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(module.ComPortNumber, 0);
    EXPECT_TRUE(com(2)->isChecked());  // the options still show the old choice
    ok();
    EXPECT_EQ(retries.size(), 2u);
    EXPECT_EQ(port.openAttempts, 0);
}

TEST_F(PortDialog, CancelWithoutAPreviousPortClosesAnOpenPortAndTheDialog) {
    load();
    port.setCommPort(1);
    ASSERT_TRUE(port.open());
    cancel();
    EXPECT_EQ(retries.size(), 1u);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(mainShown, 0);
}

TEST_F(PortDialog, EnterAndEscapeDoNothingByThemselves) {
    load();
    com(2)->click();
    for (auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(dialog, key);
        QTest::keyClick(other(), key);
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(port.openAttempts, 0);
    EXPECT_TRUE(retries.empty());
}

}  // namespace
}  // namespace zelt
