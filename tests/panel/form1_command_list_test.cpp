#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include "command_list/form3.h"
#include "platform/timer.h"
#include "tests/panel/panel_fixture.h"

namespace zelt {
namespace {

using test::Panel;

QFrame* statusStrip(Form1& form) { return form.findChild<QFrame*>("Frame15"); }

TEST_F(Panel, CommandTableOpensOneWindowAndHidesTheStatusStrip) {
    EXPECT_EQ(form->Timer2().interval(), 1000);
    click("Command44");  // both exchange timers running
    click("Command74");
    Form3* window = form->commandList();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(statusStrip(*form)->isVisible());
    EXPECT_EQ(form->Timer2().interval(), 5000);
    EXPECT_EQ(form->Timer4().interval(), 5500);
    EXPECT_TRUE(form->Timer2().isEnabled());  // only the intervals change
    EXPECT_EQ(window->findChild<QLineEdit*>("Text1")->text(), "C00[CR]");
    // Pressed again: the same window, not reloaded.
    window->findChild<QPushButton*>("Command4")->click();
    click("Command74");
    EXPECT_EQ(form->commandList(), window);
    EXPECT_TRUE(window->findChild<QComboBox*>("Combo2")->isVisible());
    EXPECT_EQ(window->findChild<QLineEdit*>("Text1")->text(), "CF BRIGHT UP[CR]");
}

TEST_F(Panel, SendFromTheListGoesOutThroughTheMainWindow) {
    click("Command74");
    Form3* window = form->commandList();
    window->findChild<QLineEdit*>("Text1")->setText("CF BRIGHT 050[CR]");
    port.writes.clear();
    window->findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(port.writes, std::vector<std::string>{"CF BRIGHT 050\r"});
    EXPECT_EQ(form->sentLine(), " C F _ B R I G H T _ 0 5 0  [CR] ");
    EXPECT_EQ(module.CommandText, "");  // the list window never composes CommandText
    EXPECT_TRUE(form->Timer2().isEnabled());
    clock.advance(4999);
    EXPECT_EQ(form->replyLine(), "");
    clock.advance(1);  // 5000 ms while the window is open
    EXPECT_EQ(form->replyLine(), " X X X X");
}

TEST_F(Panel, AStatusQueryWhileTheListIsOpenDecodesIntoTheHiddenStrip) {
    click("Command74");
    click("Command44");
    port.arrive("80\r");
    EXPECT_EQ(form->statusLine(), " Stand by");
    EXPECT_FALSE(form->findChild<QLabel*>("Label25")->isVisible());
    // A reply to a command sent from the list is decoded by the panel's last command.
    form->commandList()->findChild<QLineEdit*>("Text1")->setText("CR1[CR]");
    form->commandList()->findChild<QPushButton*>("Command1")->click();
    port.arrive("00\r");
    EXPECT_EQ(form->statusLine(), " Power ON");
}

TEST_F(Panel, CloseRestoresTheStripAndTimingsAndTheNextOpeningStartsAfresh) {
    click("Command74");
    Form3* window = form->commandList();
    window->findChild<QPushButton*>("Command5")->click();
    window->findChild<QPushButton*>("Command2")->click();  // "CLOSE"
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form->commandList(), nullptr);
    EXPECT_TRUE(statusStrip(*form)->isVisible());
    EXPECT_EQ(form->Timer2().interval(), 1000);
    EXPECT_EQ(form->Timer4().interval(), 1200);
    click("Command74");
    ASSERT_NE(form->commandList(), nullptr);
    EXPECT_NE(form->commandList(), window);
    EXPECT_TRUE(form->commandList()->findChild<QComboBox*>("Combo1")->isVisible());
    EXPECT_EQ(form->commandList()->findChild<QLineEdit*>("Text1")->text(), "C00[CR]");
}

TEST_F(Panel, TheTitleBarCloseAlsoGivesTheStripBack) {
    click("Command74");
    form->commandList()->close();
    EXPECT_TRUE(statusStrip(*form)->isVisible());
    EXPECT_EQ(form->Timer2().interval(), 1000);
    EXPECT_EQ(form->Timer4().interval(), 1200);
}

TEST_F(Panel, ClosingTheMainWindowClosesTheListWithoutReshowingTheMainWindow) {
    click("Command74");
    QPointer<Form3> window = form->commandList();
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(window.isNull() || !window->isVisible());
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace zelt
