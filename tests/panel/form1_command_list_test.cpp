#include <gtest/gtest.h>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include "command_list/form3.h"
#include "platform/system/timer.h"
#include "tests/panel/panel_fixture.h"

namespace zelt {
namespace {

using test::buttonByCaption;
using test::Panel;

QFrame* statusStrip(Form1& form) { return form.findChild<QFrame*>("Frame15"); }
// The command list window, while it exists.
Form3* commandList(Form1& form) { return form.findChild<Form3*>(); }

TEST_F(Panel, CommandTableOpensOneWindowAndHidesTheStatusStrip) {
    EXPECT_EQ(timer2().interval(), 1000);
    click(captioned("Status"));  // both exchange timers running
    click(captioned("Command Table"));
    Form3* window = commandList(*form);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(statusStrip(*form)->isVisible());
    EXPECT_EQ(timer2().interval(), 5000);
    EXPECT_EQ(timer4().interval(), 5500);
    EXPECT_TRUE(timer2().isEnabled());  // only the intervals change
    EXPECT_EQ(window->findChild<QLineEdit*>("Text1")->text(), "C00[CR]");
    // Pressed again: the same window, not reloaded.
    buttonByCaption(window, "Expand Command List")->click();
    click(captioned("Command Table"));
    EXPECT_EQ(commandList(*form), window);
    EXPECT_TRUE(window->findChild<QComboBox*>("Combo2")->isVisible());
    EXPECT_EQ(window->findChild<QLineEdit*>("Text1")->text(), "CF BRIGHT UP[CR]");
}

TEST_F(Panel, SendFromTheListGoesOutThroughTheMainWindow) {
    click(captioned("Command Table"));
    Form3* window = commandList(*form);
    window->findChild<QLineEdit*>("Text1")->setText("CF BRIGHT 050[CR]");
    port.writes.clear();
    buttonByCaption(window, "SEND")->click();
    EXPECT_EQ(port.writes, std::vector<std::string>{"CF BRIGHT 050\r"});
    EXPECT_EQ(sentLine(), " C F _ B R I G H T _ 0 5 0  [CR] ");
    EXPECT_EQ(module.CommandText, "");  // the list window never composes CommandText
    EXPECT_TRUE(timer2().isEnabled());
    clock.advance(4999);
    EXPECT_EQ(replyLine(), "");
    clock.advance(1);  // 5000 ms while the window is open
    EXPECT_EQ(replyLine(), " X X X X");
}

TEST_F(Panel, AStatusQueryWhileTheListIsOpenDecodesIntoTheHiddenStrip) {
    click(captioned("Command Table"));
    click(captioned("Status"));
    port.arrive("80\r");
    EXPECT_EQ(statusLine(), " Stand by");
    EXPECT_FALSE(form->findChild<QLabel*>("Label25")->isVisible());
    // A reply to a command sent from the list is decoded by the panel's last command.
    commandList(*form)->findChild<QLineEdit*>("Text1")->setText("CR1[CR]");
    buttonByCaption(commandList(*form), "SEND")->click();
    port.arrive("00\r");
    EXPECT_EQ(statusLine(), " Power ON");
}

TEST_F(Panel, CloseRestoresTheStripAndTimingsAndTheNextOpeningStartsAfresh) {
    click(captioned("Command Table"));
    Form3* window = commandList(*form);
    buttonByCaption(window, "Expand Read Command List")->click();
    buttonByCaption(window, "CLOSE")->click();
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(commandList(*form), nullptr);
    EXPECT_TRUE(statusStrip(*form)->isVisible());
    EXPECT_EQ(timer2().interval(), 1000);
    EXPECT_EQ(timer4().interval(), 1200);
    click(captioned("Command Table"));
    ASSERT_NE(commandList(*form), nullptr);
    EXPECT_NE(commandList(*form), window);
    EXPECT_TRUE(commandList(*form)->findChild<QComboBox*>("Combo1")->isVisible());
    EXPECT_EQ(commandList(*form)->findChild<QLineEdit*>("Text1")->text(), "C00[CR]");
}

TEST_F(Panel, TheTitleBarCloseAlsoGivesTheStripBack) {
    click(captioned("Command Table"));
    commandList(*form)->close();
    EXPECT_TRUE(statusStrip(*form)->isVisible());
    EXPECT_EQ(timer2().interval(), 1000);
    EXPECT_EQ(timer4().interval(), 1200);
}

TEST_F(Panel, ClosingTheMainWindowClosesTheListWithoutReshowingTheMainWindow) {
    click(captioned("Command Table"));
    QPointer<Form3> window = commandList(*form);
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(window.isNull() || !window->isVisible());
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace zelt
