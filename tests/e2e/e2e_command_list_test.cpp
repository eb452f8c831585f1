// The command list window: a command with its digits typed in, sent through the main window.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "command_list/form3.h"
#include "tests/e2e/panel_on_emulator.h"

namespace zelt::e2e {
namespace {

using E2eCommandList = PanelOnEmulator;

TEST_F(E2eCommandList, DigitsTypedOverTheMarksSetTheBrightness) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    ASSERT_NO_FATAL_FAILURE(click("Command Table"));
    Form3* list = commandList();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    auto* editor = list->findChild<QLineEdit*>("Text1");
    ASSERT_NE(editor, nullptr);

    // "Expand Command List", then the brightness item that takes digits.
    ASSERT_NE(chooseInCommandList("Expand Command List", "Combo2", "CF BRIGHT 0%%["), nullptr);
    ASSERT_EQ(editor->text(), "CF BRIGHT 0%%[CR]");

    // The operator selects the marks with the keyboard and types the digits over them.
    const int firstMark = static_cast<int>(editor->text().indexOf('%'));
    const int marks = static_cast<int>(editor->text().count('%'));
    ASSERT_EQ(marks, 2);
    QTest::keyClick(editor, Qt::Key_Home);
    for (int i = 0; i < firstMark; ++i) QTest::keyClick(editor, Qt::Key_Right);
    for (int i = 0; i < marks; ++i) QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
    ASSERT_EQ(editor->selectedText(), "%%");
    QTest::keyClicks(editor, "50");
    EXPECT_EQ(editor->text(), "CF BRIGHT 050[CR]");
    EXPECT_EQ(list->SendText(), "CF BRIGHT 050\r");

    ASSERT_NO_FATAL_FAILURE(sendFromCommandList());
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("CF BRIGHT 050").empty(); }));
    const RxLine set = emulator->rxLines("CF BRIGHT 050")[0];
    EXPECT_EQ(set.value("brightness"), "50");
    EXPECT_EQ(set.reply, "\x06");
    EXPECT_EQ(sentLine(), " C F _ B R I G H T _ 0 5 0  [CR] ");
    ASSERT_TRUE(waitUntil([&] { return endsWith(replyLine(), "[ACK] "); })) << replyLine();

    // Read back with "CR BRIGHT" from the read list; the reply shows on the main window.
    ASSERT_NE(chooseInCommandList("Expand Read Command List", "Combo3", "CR BRIGHT["), nullptr);
    EXPECT_EQ(list->SendText(), "CR BRIGHT\r");
    ASSERT_NO_FATAL_FAILURE(sendFromCommandList());
    ASSERT_TRUE(waitUntil([&] { return replyComplete(replyLine()); })) << replyLine();
    EXPECT_EQ(sentLine(), " C R _ B R I G H T  [CR] ");
    EXPECT_EQ(replyLine(), " 0 5 0  [CR] ");
    // Logged before the reply went out, but read on a thread of its own.
    ASSERT_TRUE(waitUntil([&] { return emulator->rxLines("CR BRIGHT").size() == 1u; }));
    EXPECT_EQ(emulator->rxLines("CR BRIGHT")[0].reply, "050\r");

    // In order on the line: the setting, then the query.
    const std::vector<RxLine> all = emulator->rxLines();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].command, "CF BRIGHT 050");
    EXPECT_EQ(all[1].command, "CR BRIGHT");
}

}  // namespace
}  // namespace zelt::e2e
