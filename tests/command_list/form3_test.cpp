#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

#include "command_list/command_list_host.h"
#include "command_list/command_lists.h"
#include "command_list/form3.h"
#include "testing/fake_timer.h"
#include "ui/twips.h"

namespace zelt {
namespace {

// Control codes made visible, so a failing comparison shows them.
std::string visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

// A main window stand-in: one log of every call, in order, and two timers on a fake clock.
class FakeHost : public CommandListHost {
public:
    // Logs each change, then hands it to the fake timer that does the counting.
    class LoggedTimer final : public Timer {
    public:
        LoggedTimer(const char* name, FakeTimer& timer, std::vector<std::string>& log)
            : name_(name), timer_(timer), log_(log) {}
        void setInterval(int ms) override {
            log_.push_back(std::string(name_) + " interval " + std::to_string(ms));
            timer_.setInterval(ms);
        }
        int interval() const override { return timer_.interval(); }
        void setEnabled(bool enabled) override {
            log_.push_back(std::string(name_) + (enabled ? " on" : " off"));
            timer_.setEnabled(enabled);
        }
        bool isEnabled() const override { return timer_.isEnabled(); }

    private:
        const char* name_;
        FakeTimer& timer_;
        std::vector<std::string>& log_;
    };

    FakeClock clock;
    FakeTimer timer2{clock, 5000};  // as the main window sets them when it opens the list window
    FakeTimer timer4{clock, 5500};
    std::vector<std::string> log;
    std::vector<std::string> sent;  // Direction::Send only

    void Hyouji(const std::string& text, Direction direction) override {
        log.push_back("Hyouji " + visible(text) + " " + std::to_string(static_cast<int>(direction)));
        if (direction == Direction::Send) sent.push_back(text);
    }
    Timer& Timer2() override { return logged2_; }
    Timer& Timer4() override { return logged4_; }
    void setStatusFrameVisible(bool shown) override { log.push_back(shown ? "frame shown" : "frame hidden"); }
    void showMainWindow() override { log.push_back("show main window"); }

private:
    LoggedTimer logged2_{"Timer2", timer2, log};
    LoggedTimer logged4_{"Timer4", timer4, log};
};

const std::vector<std::string> kCloseSteps = {"show main window", "frame shown", "Timer2 interval 1000",
                                              "Timer4 interval 1200"};

struct CommandListWindow : ::testing::Test {
    FakeHost host;
    QPointer<Form3> form;

    void SetUp() override {
        form = new Form3(host);
        form->Form_Load();
        form->show();
        QApplication::setActiveWindow(form);
    }
    void TearDown() override { delete form.data(); }

    template <typename W>
    W* control(const char* name) {
        W* w = form->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* list(int n) { return control<QComboBox>(("Combo" + std::to_string(n)).c_str()); }
    QLineEdit* editor() { return control<QLineEdit>("Text1"); }
    QLabel* markLegend() { return control<QLabel>("Label1"); }
    QLabel* crLegend() { return control<QLabel>("Label2"); }
    void click(const char* name) { QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton); }
    void send() { click("Command1"); }
    std::string original(QComboBox* l) { return l->currentData(Qt::UserRole).toString().toStdString(); }
    int visibleList() {
        int shown = 0;
        for (int n = 1; n <= 3; ++n) {
            if (list(n)->isVisible()) shown = shown ? -1 : n;
        }
        return shown;
    }

    // Chooses as the operator does: opens the list's popup, moves to the item and presses Enter.
    void choose(QComboBox* l, std::string_view command) {
        int index = -1;
        for (int i = 0; i < l->count(); ++i) {
            if (commandPart(l->itemData(i, Qt::UserRole).toString().toStdString()) == command) index = i;
        }
        ASSERT_GE(index, 0) << command;
        l->showPopup();
        QAbstractItemView* view = l->view();
        ASSERT_TRUE(view->isVisible());
        view->setCurrentIndex(l->model()->index(index, 0));
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_FALSE(view->isVisible());
        ASSERT_EQ(l->currentIndex(), index);
    }
    // Replaces the editor text key by key.
    void retype(const QString& text) {
        editor()->setFocus();
        editor()->selectAll();
        QTest::keyClick(editor(), Qt::Key_Backspace);
        QTest::keyClicks(editor(), text);
    }
    void destroyClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(CommandListWindow, OpensOnTheBasicListAtPowerOn) {
    EXPECT_EQ(form->objectName(), "Form3");
    EXPECT_EQ(form->windowTitle(), "Command List");
    EXPECT_TRUE(form->isWindow());
    EXPECT_TRUE(form->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(visibleList(), 1);
    EXPECT_EQ(list(1)->currentIndex(), 0);
    EXPECT_EQ(list(1)->currentText(), "C00[CR]     POWER ON");
    EXPECT_EQ(editor()->text(), "C00[CR]");
    EXPECT_TRUE(crLegend()->isVisible());
    EXPECT_FALSE(markLegend()->isVisible());
    EXPECT_EQ(form->focusWidget(), list(1));
    EXPECT_EQ(form->SendText(), "C00\r");
    EXPECT_TRUE(host.log.empty());  // opening sends nothing and leaves the main window alone
    send();
    EXPECT_EQ(host.sent, std::vector<std::string>{"C00\r"});
}

TEST_F(CommandListWindow, TheListsHoldTheirItemsWithoutTabs) {
    const std::span<const std::string_view> items[] = {basicCommandList(), expandedCommandList(), readCommandList()};
    for (int n = 1; n <= 3; ++n) {
        QComboBox* l = list(n);
        EXPECT_FALSE(l->isEditable());
        ASSERT_EQ(static_cast<size_t>(l->count()), items[n - 1].size()) << n;
        for (int i = 0; i < l->count(); ++i) {
            EXPECT_FALSE(l->itemText(i).contains('\t')) << n << ":" << i;
            EXPECT_EQ(l->itemData(i, Qt::UserRole).toString().toStdString(), items[n - 1][i]) << n << ":" << i;
        }
    }
}

TEST_F(CommandListWindow, PopupsAreWideEnoughForTheLongestItem) {
    for (int n = 1; n <= 3; ++n) {
        QComboBox* l = list(n);
        const QFontMetrics metrics(l->view()->font());
        int widest = 0;
        for (int i = 0; i < l->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(l->itemText(i)));
        EXPECT_GT(l->view()->minimumWidth(), widest) << n;
    }
}

TEST_F(CommandListWindow, ControlsStandWhereTheLayoutPutsThem) {
    EXPECT_EQ(form->size(), QSize(px(10005), px(2500 - 480)));
    struct Place {
        const char* name;
        const char* caption;
        double left, top, width, height;
    };
    const Place places[] = {
        {"Command3", "Basic Command List", 120, 120, 2415, 375},
        {"Command4", "Expand Command List", 2760, 120, 2655, 375},
        {"Command5", "Expand Read Command List", 5760, 120, 3015, 375},
        {"Command1", "SEND", 9000, 680, 855, 375},
        {"Command2", "CLOSE", 9000, 1320, 855, 375},
        {"Text1", nullptr, 120, 720, 8655, 300},
        {"Label2", "[CR] :Carriage Return Code (0x0D)", 240, 1200, 3975, 300},
        {"Label1", "% :Parameter (0-9).", 4560, 1200, 2895, 300},
        {"Combo1", nullptr, 120, 1560, 5055, 300},
        {"Combo2", nullptr, 120, 1560, 8655, 300},
        {"Combo3", nullptr, 120, 1560, 8655, 300},
    };
    for (const Place& p : places) {
        QWidget* w = control<QWidget>(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), pxRect(p.left, p.top, p.width, p.height)) << p.name;
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(b->text(), p.caption);
        }
        if (auto* l = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(l->text(), p.caption);
            EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(255, 0, 0)) << p.name;
        }
    }
}

TEST_F(CommandListWindow, TabOrderStartsAtTheBasicList) {
    const char* order[] = {"Combo1",   "Command1", "Command2", "Command3", "Text1",
                           "Command4", "Command5", "Combo2",   "Combo3"};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* w = control<QWidget>(order[i])->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();  // labels, combo internals
        EXPECT_EQ(w->objectName(), order[i + 1]) << "after " << order[i];
    }
}

TEST_F(CommandListWindow, AnItemWithMarksAsksForDigitsAndSendsThemTyped) {
    click("Command4");
    choose(list(2), "CF BRIGHT 0%%");
    EXPECT_TRUE(markLegend()->isVisible());
    EXPECT_TRUE(crLegend()->isVisible());
    EXPECT_EQ(form->focusWidget(), editor());
    EXPECT_EQ(editor()->text(), "CF BRIGHT 0%%[CR]");
    EXPECT_FALSE(editor()->hasSelectedText());  // nothing selects the marks for the operator
    EXPECT_EQ(form->SendText(), "CF BRIGHT 0%%\r");
    // Overtype the marks: caret before the first, select both with Shift+Right, type the digits.
    QTest::keyClick(editor(), Qt::Key_Home);
    for (int i = 0; i < 11; ++i) QTest::keyClick(editor(), Qt::Key_Right);
    QTest::keyClick(editor(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(editor(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(editor()->selectedText(), "%%");
    QTest::keyClicks(editor(), "50");
    EXPECT_EQ(editor()->text(), "CF BRIGHT 050[CR]");
    EXPECT_EQ(form->SendText(), "CF BRIGHT 050\r");
    send();
    EXPECT_EQ(host.sent, std::vector<std::string>{"CF BRIGHT 050\r"});
    EXPECT_FALSE(markLegend()->isVisible());
    EXPECT_FALSE(crLegend()->isVisible());
    EXPECT_EQ(editor()->text(), "CF BRIGHT 050[CR]");  // SEND leaves the editor alone
}

TEST_F(CommandListWindow, TheMarkTestOfTheExpandedListReadsTheWholeItem) {
    struct Case {
        const char* command;
        bool legend;
    };
    const Case cases[] = {
        {"CF INPUT1 ANALOG", true},  // "%1" in the description only
        {"CF BRIGHT UP", false},    {"CF LOGO %%%% OFF", true},
        {"CF INPUT1 YPBPR", false},  // same run, no description of its own
        {"CF FSYNC 00%%", true},
    };
    click("Command4");
    for (const Case& c : cases) {
        list(2)->setFocus();
        choose(list(2), c.command);
        EXPECT_EQ(markLegend()->isVisible(), c.legend) << c.command;
        EXPECT_EQ(form->focusWidget() == editor(), c.legend) << c.command;
        EXPECT_EQ(editor()->text().toStdString(), std::string(c.command) + "[CR]");
        EXPECT_EQ(form->SendText(), std::string(c.command) + "\r");
    }
}

TEST_F(CommandListWindow, TheMarkLegendStaysThroughOtherListsUntilSend) {
    click("Command4");
    choose(list(2), "CF BRIGHT 0%%");
    ASSERT_TRUE(markLegend()->isVisible());
    click("Command3");
    EXPECT_EQ(visibleList(), 1);
    EXPECT_EQ(editor()->text(), "C00[CR]");
    EXPECT_TRUE(markLegend()->isVisible());
    choose(list(1), "C0B");
    click("Command5");
    choose(list(3), "CR LAMPSTS");
    EXPECT_TRUE(markLegend()->isVisible());
    EXPECT_EQ(editor()->text(), "CR LAMPSTS[CR]");
    send();
    EXPECT_FALSE(markLegend()->isVisible());
    EXPECT_FALSE(crLegend()->isVisible());
    EXPECT_EQ(host.sent, std::vector<std::string>{"CR LAMPSTS\r"});
    // A choice shows the "[CR]" legend again; the basic list leaves the "%" legend alone.
    click("Command3");
    EXPECT_TRUE(crLegend()->isVisible());
    EXPECT_FALSE(markLegend()->isVisible());
}

TEST_F(CommandListWindow, EveryListButtonShowsOnlyItsListFromTheFirstItem) {
    struct Case {
        const char* button;
        int list;
        const char* other;  // chosen first, so the button must go back to the top
        std::string_view item;
        std::string shown;
        const char* editor;
    };
    const Case cases[] = {
        {"Command4", 2, "CF CONT UP", "CF BRIGHT UP[CR]  \t\t:Set Brightness value",
         "CF BRIGHT UP[CR]" + std::string(16, ' ') + ":Set Brightness value", "CF BRIGHT UP[CR]"},
        {"Command5", 3, "CR CONT", "CR BRIGHT[CR] \t:Get Brightness value", "CR BRIGHT[CR]   :Get Brightness value",
         "CR BRIGHT[CR]"},
        {"Command3", 1, "C02", "C00[CR]     POWER ON", "C00[CR]     POWER ON", "C00[CR]"},
    };
    for (const Case& c : cases) {
        click(c.button);
        choose(list(c.list), c.other);
        EXPECT_NE(list(c.list)->currentIndex(), 0);
        send();  // hides both legends
        click(c.button);
        EXPECT_EQ(visibleList(), c.list) << c.button;
        EXPECT_EQ(list(c.list)->currentIndex(), 0) << c.button;
        EXPECT_EQ(original(list(c.list)), c.item) << c.button;
        EXPECT_EQ(list(c.list)->currentText().toStdString(), c.shown) << c.button;
        EXPECT_EQ(editor()->text(), c.editor) << c.button;
        EXPECT_EQ(form->SendText(), std::string(commandPart(c.item)) + "\r") << c.button;
        EXPECT_TRUE(crLegend()->isVisible()) << c.button;
        EXPECT_FALSE(markLegend()->isVisible()) << c.button;
    }
    // The expanded list's button hides a "%" legend that a choice there had shown.
    click("Command4");
    choose(list(2), "CF BRIGHT 0%%");
    ASSERT_TRUE(markLegend()->isVisible());
    click("Command4");
    EXPECT_FALSE(markLegend()->isVisible());
    EXPECT_EQ(editor()->text(), "CF BRIGHT UP[CR]");
}

TEST_F(CommandListWindow, AnEditorTextSendsItsPartBeforeTheFirstBracket) {
    struct Case {
        QString typed;
        const char* sent;
    };
    const Case cases[] = {
        {"C0B", "C0B\r"},                          // no marker: the whole text
        {"C00[CR]C01[CR]", "C00\r"},               // a second command after the marker
        {"[CR]C00", "\r"},                         // starts with "[": a lone carriage return
        {"cf bright 05x[CR]", "cf bright 05x\r"},  // sent as typed
        {"CF BRIGHT 0%%[CR]", "CF BRIGHT 0%%\r"},  // unreplaced marks go out too
        {"", "\r"},                                // emptied: a lone carriage return
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        retype(c.typed);
        EXPECT_EQ(editor()->text(), c.typed);
        EXPECT_EQ(form->SendText(), c.sent) << c.typed.toStdString();
        send();
        expected.push_back(c.sent);
    }
    EXPECT_EQ(host.sent, expected);
    // One byte per character on the line: Latin-1 goes out as its byte, anything beyond is refused.
    retype("C");
    for (const QString& typed : {QString(QChar(0xe9)), QString(QChar(0x20ac)), QString("1")})
        QTest::sendKeyEvent(QTest::Click, editor(), Qt::Key_unknown, typed, Qt::NoModifier);
    EXPECT_EQ(editor()->text(), QString::fromUtf8("C\u00e91"));
    EXPECT_EQ(form->SendText(),
              "C\xe9"
              "1\r");
}

TEST_F(CommandListWindow, EachSendRestartsBothTimersForAFullInterval) {
    send();
    const std::vector<std::string> steps = {"Timer2 off", "Timer4 off", "Hyouji C00\\r 1", "Timer2 on", "Timer4 on"};
    EXPECT_EQ(host.log, steps);
    host.clock.advance(4000);
    EXPECT_EQ(host.timer2.ticks, 0);
    host.log.clear();
    send();
    EXPECT_EQ(host.log, steps);
    EXPECT_EQ(host.sent, (std::vector<std::string>{"C00\r", "C00\r"}));
    host.clock.advance(1000);  // 5000 ms after the first send
    EXPECT_EQ(host.timer2.ticks, 0);
    host.clock.advance(3999);
    EXPECT_EQ(host.timer2.ticks, 0);
    host.clock.advance(1);  // 5000 ms after the second send
    EXPECT_EQ(host.timer2.ticks, 1);
    EXPECT_EQ(host.timer4.ticks, 0);
    host.clock.advance(500);
    EXPECT_EQ(host.timer4.ticks, 1);
}

TEST_F(CommandListWindow, CloseGivesTheMainWindowBackAndDestroysTheWindow) {
    click("Command2");
    EXPECT_EQ(host.log, kCloseSteps);
    EXPECT_EQ(host.timer2.interval(), 1000);
    EXPECT_EQ(host.timer4.interval(), 1200);
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->isVisible());
    destroyClosed();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(host.log, kCloseSteps);  // once only
}

TEST_F(CommandListWindow, TheTitleBarCloseDoesAsCloseOnce) {
    EXPECT_TRUE(form->close());
    EXPECT_EQ(host.log, kCloseSteps);
    destroyClosed();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(host.log, kCloseSteps);
}

TEST_F(CommandListWindow, CloseQuietlyLeavesTheMainWindowAlone) {
    form->closeQuietly();
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(host.timer2.interval(), 5000);
    EXPECT_EQ(host.timer4.interval(), 5500);
    destroyClosed();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(host.log.empty());
}

TEST_F(CommandListWindow, ASecondWindowStartsAfreshOnTheBasicList) {
    click("Command4");
    choose(list(2), "CF BRIGHT 0%%");
    click("Command2");
    destroyClosed();
    ASSERT_TRUE(form.isNull());
    form = new Form3(host);
    form->Form_Load();
    form->show();
    EXPECT_EQ(visibleList(), 1);
    EXPECT_EQ(editor()->text(), "C00[CR]");
    EXPECT_FALSE(markLegend()->isVisible());
    EXPECT_EQ(form->SendText(), "C00\r");
}

TEST_F(CommandListWindow, KeyboardChoiceInTheListCounts) {
    list(1)->setFocus();
    QTest::keyClick(list(1), Qt::Key_Down);
    EXPECT_EQ(list(1)->currentIndex(), 1);
    EXPECT_EQ(editor()->text(), "C01[CR]");
    EXPECT_EQ(form->SendText(), "C01\r");
}

}  // namespace
}  // namespace zelt
