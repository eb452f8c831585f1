#include <gtest/gtest.h>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <set>

#include "command_list/command_lists.h"
#include "panel/arrow_icon.h"
#include "panel/button_table.h"
#include "panel/repeat_table.h"
#include "platform/system/timer.h"
#include "port_dialog/form2.h"
#include "tests/panel/panel_fixture.h"
#include "ui/twips.h"

namespace zelt {
namespace {

using test::Panel;

// Each command a button sends, or repeats while held, is one the command lists know.
TEST(PanelTables, EveryButtonsCommandIsOneTheCommandListsKnow) {
    std::set<std::string_view> listed;
    for (const auto list : {basicCommandList(), expandedCommandList(), readCommandList()}) {
        for (std::string_view item : list) listed.insert(commandPart(item));
    }
    for (const ButtonRow& row : buttonTable()) {
        if (row.action != Action::Send) continue;
        EXPECT_TRUE(listed.contains(row.command)) << row.control << ": " << row.command;
    }
    for (const RepeatRow& r : repeatTable()) EXPECT_TRUE(listed.contains(r.command)) << r.control << ": " << r.command;
}

TEST_F(Panel, EverySendButtonSendsExactlyItsCommandAndOneCarriageReturn) {
    size_t sendButtons = 0;
    for (const ButtonRow& row : buttonTable()) {
        if (row.action != Action::Send) continue;
        ++sendButtons;
        const size_t before = port.writes.size();
        click(row.control);
        ASSERT_EQ(port.writes.size(), before + 1) << row.control;
        EXPECT_EQ(port.writes.back(), std::string(row.command) + "\r") << row.control;
        EXPECT_EQ(module.CommandText, std::string(row.command) + "\r") << row.control;
    }
    EXPECT_GT(sendButtons, 0u);
    // Three quick activations of one button: three sends, replies or not.
    port.writes.clear();
    for (int i = 0; i < 3; ++i) button("Command60")->click();
    EXPECT_EQ(port.writes, std::vector<std::string>(3, "CF KEYDIS NONE\r"));
}

TEST_F(Panel, SharedCaptionsBindToDifferentCommandsInDifferentFrames) {
    struct Bound {
        std::set<std::string_view> commands;
        std::set<std::string> frames;
        size_t buttons = 0;
    };
    std::map<QString, Bound> byCaption;
    for (const ButtonRow& row : buttonTable()) {
        if (row.action != Action::Send) continue;
        QPushButton* b = button(row.control);
        ASSERT_NE(b, nullptr) << row.control;
        Bound& bound = byCaption[b->text()];
        bound.commands.insert(row.command);
        bound.frames.insert(b->parentWidget()->objectName().toStdString());
        ++bound.buttons;
    }
    size_t shared = 0;
    for (const auto& [caption, bound] : byCaption) {
        EXPECT_EQ(bound.commands.size(), bound.buttons) << caption.toStdString();
        EXPECT_EQ(bound.frames.size(), bound.buttons) << caption.toStdString();
        if (bound.buttons > 1) ++shared;
    }
    EXPECT_GT(shared, 0u);  // "On", "Off", "Analog RGB", "Normal"
}

TEST_F(Panel, SixtySevenButtonsInTwentyOneFramesAtTheirPlaces) {
    EXPECT_EQ(form->findChildren<QPushButton*>().size(), 67);
    EXPECT_EQ(buttonTable().size(), 67u);
    int frames = 0;
    for (const FrameRow& fr : frameTable()) {
        auto* frame = form->findChild<QFrame*>(fr.control);
        ASSERT_NE(frame, nullptr) << fr.control;
        EXPECT_EQ(frame->parentWidget(), form.get());
        EXPECT_EQ(frame->geometry(), pxRect(fr.left, fr.top, fr.width, fr.height)) << fr.control;
        for (const HeadingLabel& h : fr.headings) {
            if (!h.control) continue;
            auto* label = frame->findChild<QLabel*>(h.control);
            ASSERT_NE(label, nullptr) << h.control;
            EXPECT_EQ(label->text(), h.text);
            EXPECT_TRUE(label->font().bold()) << h.control;
        }
        ++frames;
    }
    EXPECT_EQ(frames, 21);
    for (const ButtonRow& row : buttonTable()) {
        QPushButton* b = button(row.control);
        ASSERT_NE(b, nullptr) << row.control;
        EXPECT_EQ(b->geometry(), pxRect(row.left, row.top, row.width, row.height)) << row.control;
        EXPECT_EQ(b->parentWidget()->objectName(), row.frame ? row.frame : "Form1") << row.control;
        EXPECT_EQ(b->text(), row.caption) << row.control;
    }
    // Every button and label shows whole in its frame, and every frame in the full view.
    form->setFixedHeight(px(7620));
    for (QWidget* w : form->findChildren<QWidget*>()) {
        const bool placed =
            qobject_cast<QPushButton*>(w) || qobject_cast<QLabel*>(w) || w->objectName().startsWith("Frame");
        if (!placed || w->window() != form.get() || w->isHidden()) continue;
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    EXPECT_EQ(form->findChild<QLabel*>("Label1")->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    EXPECT_EQ(form->findChild<QLabel*>("Label11")->geometry(), pxRect(600, 195, 7575, 300));
    EXPECT_EQ(form->findChild<QLabel*>("Label25")->parentWidget()->objectName(), "Frame15");
}

TEST_F(Panel, FaceColoursShowOnTheButtons) {
    for (const ButtonRow& row : buttonTable()) {
        if (row.face == Face::System) continue;
        const QImage image = button(row.control)->grab().toImage();
        // Just inside the top left corner, clear of any caption or picture (both centred).
        EXPECT_EQ(image.pixelColor(4, 2), faceColor(row.face)) << row.control;
    }
}

TEST(ArrowIcon, ATriangleWithItsBaseAlongTheEdgeOppositeItsTip) {
    struct Case {
        Arrow arrow;
        QSize size;
        QPoint baseEnds[2];
        QPoint tip;
        QPoint yellowCorner;
    };
    const Case cases[] = {
        {Arrow::Up, {17, 9}, {{0, 8}, {16, 8}}, {8, 0}, {0, 0}},
        {Arrow::Down, {17, 9}, {{0, 0}, {16, 0}}, {8, 8}, {0, 8}},
        {Arrow::Left, {9, 17}, {{8, 0}, {8, 16}}, {0, 8}, {0, 0}},
        {Arrow::Right, {9, 17}, {{0, 0}, {0, 16}}, {8, 8}, {8, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(arrowIconSize(c.arrow), c.size);
        const QImage img = arrowIcon(c.arrow).pixmap(c.size).toImage();
        ASSERT_EQ(img.size(), c.size);
        for (QPoint p : c.baseEnds)
            EXPECT_LT(qGray(img.pixel(p)), 128) << int(c.arrow) << " base " << p.x() << "," << p.y();
        EXPECT_LT(qGray(img.pixel(c.tip)), 160) << int(c.arrow) << " tip";
        EXPECT_EQ(img.pixelColor(c.yellowCorner), QColor(255, 255, 0)) << int(c.arrow);
    }
    // Drawn at the scale it is shown: twice as many pixels on a 2x screen.
    EXPECT_EQ(arrowIcon(Arrow::Up).pixmap(QSize(17, 9), 2.0).size(), QSize(34, 18));
}

TEST_F(Panel, ArrowButtonsShowPicturesNotText) {
    for (const RepeatRow& r : repeatTable()) {
        QPushButton* b = button(r.control);
        ASSERT_NE(b, nullptr) << r.control;
        EXPECT_TRUE(b->text().isEmpty()) << r.control;
        EXPECT_FALSE(b->icon().isNull()) << r.control;
    }
}

TEST_F(Panel, AShortPressSendsOnceAndAHeldButtonRepeats) {
    press("Command1");
    clock.advance(60);
    release("Command1");
    EXPECT_EQ(port.writes, std::vector<std::string>{"C09\r"});
    port.writes.clear();
    press("Command30");
    EXPECT_TRUE(timer1().isEnabled());  // holding
    clock.advance(1000);
    release("Command30");
    // "Bright +", at the press and every 100 ms.
    EXPECT_EQ(port.writes, std::vector<std::string>(11, "C20\r"));
    EXPECT_FALSE(timer1().isEnabled());  // no longer holding
    timer1().onTick();                   // and a late tick finds nothing to repeat
    EXPECT_EQ(port.writes.size(), 11u);
}

TEST_F(Panel, AHoldEndsWhenTheWindowLosesTheActivationAndNoReleaseCanCome) {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    press("Command30");
    clock.advance(250);
    ASSERT_EQ(port.writes.size(), 3u);
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    clock.advance(1000);
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_FALSE(button("Command30")->isDown());
    EXPECT_FALSE(timer1().isEnabled());  // the hold is over
    // A later release is harmless, and the next press holds again.
    release("Command30");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    press("Command30");
    clock.advance(100);
    release("Command30");
    EXPECT_EQ(port.writes.size(), 5u);
}

TEST_F(Panel, HoldTimingsAtPressAndRelease) {
    press("Command48");
    EXPECT_EQ(timer1().interval(), 100);
    EXPECT_EQ(timer2().interval(), 150);
    EXPECT_EQ(timer4().interval(), 200);
    EXPECT_TRUE(timer1().isEnabled());
    clock.advance(120);
    release("Command48");
    EXPECT_FALSE(timer1().isEnabled());
    EXPECT_FALSE(timer2().isEnabled());
    EXPECT_TRUE(timer4().isEnabled());
    EXPECT_EQ(timer2().interval(), 500);
    EXPECT_EQ(timer4().interval(), 1000);
    EXPECT_EQ(sentLine(), "");
    EXPECT_EQ(replyLine(), "");
    EXPECT_EQ(form->ReceiveBuffer(), "");
    // After a hold a single click's exchange ends at 500 ms and clears at 1000 ms.
    clock.advance(2000);
    click(captioned("Status"));
    clock.advance(499);
    EXPECT_EQ(replyLine(), "");
    clock.advance(1);
    EXPECT_EQ(replyLine(), " X X X X");
    clock.advance(500);
    EXPECT_EQ(replyLine(), "");
    EXPECT_EQ(sentLine(), "");
}

TEST_F(Panel, AnyMouseButtonStartsAHoldAndAnyReleaseEndsIt) {
    press("Command35", Qt::RightButton);
    EXPECT_EQ(port.writes, std::vector<std::string>{"C8F\r"});
    release("Command35", Qt::RightButton);
    EXPECT_FALSE(timer1().isEnabled());  // the hold has ended
    port.writes.clear();
    // Left holds "Keystone" down; the right button on it changes nothing; its release ends the hold.
    press("Command35", Qt::LeftButton);
    QTest::mousePress(button("Command35"), Qt::RightButton);
    EXPECT_EQ(port.writes.size(), 1u);
    QTest::mouseRelease(button("Command35"), Qt::RightButton);
    EXPECT_FALSE(timer1().isEnabled());  // the hold has ended
    clock.advance(500);
    EXPECT_EQ(port.writes.size(), 1u);
    release("Command35", Qt::LeftButton);
    clock.advance(500);
    EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(Panel, TheReleaseReachesThePressedButtonWhereverThePointerIs) {
    press("Command2");
    clock.advance(200);
    // Released far outside the button (over another arrow button even).
    QTest::mouseRelease(button("Command2"), Qt::LeftButton, {}, QPoint(-300, 400));
    EXPECT_FALSE(timer1().isEnabled());  // the hold has ended
    const size_t sent = port.writes.size();
    clock.advance(500);
    EXPECT_EQ(port.writes.size(), sent);
}

TEST_F(Panel, SpaceOrEnterOnAFocusedArrowSendsNothing) {
    QApplication::setActiveWindow(form.get());
    for (const RepeatRow& r : repeatTable()) {
        button(r.control)->setFocus();
        QTest::keyClick(button(r.control), Qt::Key_Space);
        QTest::keyClick(button(r.control), Qt::Key_Return);
    }
    clock.advance(1000);
    EXPECT_TRUE(port.writes.empty());
    // A focused send button is activated by the keyboard.
    captioned("Status")->setFocus();
    QTest::keyClick(captioned("Status"), Qt::Key_Space);
    EXPECT_EQ(port.writes, std::vector<std::string>{"CR0\r"});
}

TEST_F(Panel, AKeyboardSendDuringAHoldSendsOnceAndTheHoldGoesOn) {
    press("Command1");
    captioned("Status")->click();
    clock.advance(100);
    release("Command1");
    EXPECT_EQ(port.writes, (std::vector<std::string>{"C09\r", "CR0\r", "C09\r"}));
}

// --- Ctrl+H ------------------------------------------------------------------------------------

struct KeyCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) ++presses;
        return false;
    }
};

void sendKey(QWidget* target, Qt::KeyboardModifiers mods, const QString& text = "h", bool autoRepeat = false,
             int key = Qt::Key_H) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text, autoRepeat);
    QApplication::sendEvent(target, &press);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text, autoRepeat);
    QApplication::sendEvent(target, &up);
}

TEST_F(Panel, CtrlHTogglesTheViewAndTheKeyStillReachesTheFocusedButton) {
    QPushButton* focused = captioned("On", "Power");
    focused->setFocus();
    KeyCounter counter;
    focused->installEventFilter(&counter);
    EXPECT_EQ(twips(form->height()), 5295);  // 353 pixels
    sendKey(focused, Qt::ControlModifier);
    EXPECT_EQ(form->height(), px(7620));
    sendKey(focused, Qt::ControlModifier, "H");  // Caps Lock on
    EXPECT_EQ(form->height(), px(5300));
    for (int i = 0; i < 3; ++i) sendKey(focused, Qt::ControlModifier, "h", true);  // auto-repeat
    EXPECT_EQ(form->height(), px(7620));
    EXPECT_EQ(counter.presses, 5);
    EXPECT_EQ(form->width(), px(10185));
}

TEST_F(Panel, OtherKeyCombinationsLeaveTheView) {
    captioned("Status")->setFocus();
    const Qt::KeyboardModifiers others[] = {
        Qt::ControlModifier | Qt::ShiftModifier,
        Qt::ControlModifier | Qt::AltModifier,
        Qt::NoModifier,
        Qt::ShiftModifier,
        Qt::AltModifier,
        Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier,
    };
    for (auto mods : others) sendKey(captioned("Status"), mods);
    sendKey(captioned("Status"), Qt::ControlModifier, "g", false, Qt::Key_G);
    EXPECT_EQ(form->height(), px(5300));
    EXPECT_TRUE(port.writes.empty());
    // The decision rests on the height read now: any height from 6520 twips goes compact.
    form->setFixedHeight(px(6600));
    sendKey(captioned("Status"), Qt::ControlModifier);
    EXPECT_EQ(form->height(), px(5300));
    form->setFixedHeight(px(6450));
    sendKey(captioned("Status"), Qt::ControlModifier);
    EXPECT_EQ(form->height(), px(7620));
}

TEST_F(Panel, CtrlHInThePortDialogDoesNotReachTheMainWindow) {
    click(captioned("COM"));
    auto* dialog = form->findChild<Form2*>();
    ASSERT_NE(dialog, nullptr);
    QWidget* box = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    sendKey(box, Qt::ControlModifier);
    sendKey(dialog, Qt::ControlModifier);
    EXPECT_EQ(form->height(), px(5300));
}

TEST_F(Panel, TheLongestStatusPhraseShowsWholeAndAShortOneKeepsTheFullSize) {
    auto* status = form->findChild<QLabel*>("Label25");
    const QFont designed = status->font();
    click(captioned("Temp"));
    port.arrive("040.5 041.0 039.0\r");
    ASSERT_EQ(statusLine(), " 0 4 0 . 5 deg C 0 4 1 . 0 deg C 0 3 9 . 0 deg C ");
    EXPECT_LE(QFontMetrics(status->font()).horizontalAdvance(status->text()), status->contentsRect().width());
    click(captioned("Status"));
    port.arrive("00\r");
    ASSERT_EQ(statusLine(), " Power ON");
    EXPECT_EQ(status->font(), designed);
}

// --- A send that cannot go out -------------------------------------------------------------

TEST_F(Panel, ASendOnAClosedPortBeepsAndShowsANoticeButKeepsTheLines) {
    click(captioned("Status"));
    port.arrive("00\r");
    const std::string sent = sentLine(), reply = replyLine(), status = statusLine();
    click(captioned("COM"));  // closes the port while its dialog is open
    ASSERT_FALSE(port.isOpen());
    click(captioned("On", "Power"));
    EXPECT_EQ(port.writes, std::vector<std::string>{"CR0\r"});
    EXPECT_EQ(sentLine(), sent);
    EXPECT_EQ(replyLine(), reply);
    EXPECT_EQ(statusLine(), status);
    EXPECT_EQ(module.CommandText, "C00\r");  // composed, though not sent
    EXPECT_FALSE(notice().isEmpty());
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(form->findChild<QLabel*>("Label28")->isVisible());
    // The notice goes away by itself.
    QTRY_VERIFY_WITH_TIMEOUT(notice().isEmpty(), 5000);
}

TEST_F(Panel, ASendThatGoesOutClearsAnEarlierNotSentNotice) {
    port.close();
    click(captioned("On", "Power"));
    ASSERT_FALSE(notice().isEmpty());
    ASSERT_TRUE(port.open());
    click(captioned("On", "Power"));
    EXPECT_EQ(port.writes, std::vector<std::string>{"C00\r"});
    EXPECT_TRUE(notice().isEmpty());
}

TEST_F(Panel, AHeldArrowOnAClosedPortBeepsOnceNotEveryRepetition) {
    port.close();
    press("Command1");
    clock.advance(1000);  // ten repetitions, every one failing
    release("Command1");
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(notice().isEmpty());
    click(captioned("On", "Power"));  // a fresh failure beeps again
    EXPECT_EQ(beeps, 2);
}

// --- A line that goes away ----------------------------------------------------------------------

TEST_F(Panel, ALostLineIsShownWaitedForAndReopenedWhenItsDeviceIsBack) {
    EXPECT_FALSE(keeperTimer().isEnabled());  // nothing runs while the line is up
    port.vanish();                            // /dev/ttyS0, port 1's device, is not present
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(notice().contains("Line down: waiting for /dev/ttyS0")) << notice().toStdString();
    EXPECT_TRUE(keeperTimer().isEnabled());
    clock.advance(3000);
    EXPECT_EQ(port.openAttempts, 1);  // the start-up's open only: absent, never tried

    // A send while waiting beeps and says so; the waiting text comes back after the notice.
    click(captioned("Status"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(notice().startsWith("Not sent: the line is down")) << notice().toStdString();
    EXPECT_TRUE(port.writes.empty());
    QTRY_VERIFY_WITH_TIMEOUT(notice().startsWith("Line down"), 5000);

    devices.present.insert("/dev/ttyS0");
    clock.advance(keeperTimer().interval());
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedPorts, (std::vector<int16_t>{1, 1}));
    EXPECT_TRUE(notice().isEmpty());
    EXPECT_FALSE(keeperTimer().isEnabled());
    EXPECT_TRUE(retries.empty());  // no dialog, no message box
    click(captioned("Status"));
    EXPECT_EQ(port.writes, std::vector<std::string>{"CR0\r"});
}

TEST_F(Panel, ComAndClosingEndTheWaiting) {
    port.vanish();
    ASSERT_TRUE(keeperTimer().isEnabled());
    click(captioned("COM"));
    EXPECT_FALSE(keeperTimer().isEnabled());
    EXPECT_TRUE(notice().isEmpty());
    devices.present.insert("/dev/ttyS0");
    clock.advance(1000);
    EXPECT_FALSE(port.isOpen());  // the dialog chooses now
    click(test::buttonByCaption(form->findChild<Form2*>(), "Cancel"));
    ASSERT_TRUE(port.isOpen());

    port.vanish();
    ASSERT_TRUE(keeperTimer().isEnabled());
    form->close();
    EXPECT_FALSE(keeperTimer().isEnabled());
    clock.advance(1000);
    EXPECT_FALSE(port.isOpen());
}

// --- With the window's real timers ------------------------------------------------------------

TEST(PanelRealTime, AOneSecondHoldSendsAboutElevenCommandsInOrder) {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    store.put("StartUP", "ComPort", "1");
    const auto form = test::makeForm1({.module = module, .port = port, .store = store});
    form->Form_Load();
    form->show();
    QPushButton* up = form->findChild<QPushButton*>("Command1");
    QTest::mousePress(up, Qt::LeftButton);
    QEventLoop loop;
    QTimer::singleShot(1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_GE(port.writes.size(), 9u);
    EXPECT_LE(port.writes.size(), 13u);
    for (const std::string& w : port.writes) EXPECT_EQ(w, "C09\r");
}

}  // namespace
}  // namespace zelt
