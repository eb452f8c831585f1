#include "tests/e2e/panel_on_emulator.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "command_list/form3.h"
#include "platform/system/qt_timer.h"
#include "port_dialog/form2.h"
#include "tests/support/panel_harness.h"
#include "tests/support/widgets.h"

namespace zelt::e2e {

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

void PanelOnEmulator::TearDown() {
    // The window uses the port, the port uses the device: gone in that order.
    form.reset();
    port.reset();
    emulators.clear();
    emulator = nullptr;
}

void PanelOnEmulator::startEmulator(std::vector<std::string> options) {
    options.insert(options.begin(), "--log");
    auto process = std::make_unique<EmulatorProcess>(options);
    EmulatorProcess* started = process.get();
    emulators.push_back(std::move(process));
    ASSERT_TRUE(started->started()) << "projector-emulator did not start: " << started->startError();
    ASSERT_EQ(started->devicePath().rfind("/dev/", 0), 0u) << started->devicePath();
    emulator = started;
    com3Device = started->devicePath();
}

void PanelOnEmulator::startPanel() {
    store.put("StartUP", "ComPort", "3");
    store.put("StartUP", "BaudRate", "192");
    // Read at every open, so pointing port 3 at another device takes effect at the next one.
    port = std::make_unique<LinePort>(store, [this](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3" && !com3Device.empty()) return com3Device;
        return std::nullopt;
    });
    LinePort* p = port.get();
    form =
        test::makeForm1({.module = module,
                         .port = *p,
                         .store = store,
                         .deviceFor = [p](int n) { return p->targetFor(n); },
                         .makeTimer = timers.factory([](int ms) { return std::make_unique<QtTimer>(ms); }),
                         .retryMessage = [this](QWidget*, const QString& reason) { retryMessages.push_back(reason); }});

    // Start-up shows the port dialog modally when the port does not open; close it rather than
    // wait for an operator, and fail.
    bool dialogAtStartup = false;
    QTimer guard;
    guard.setInterval(200);
    QObject::connect(&guard, &QTimer::timeout, [&dialogAtStartup] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogAtStartup = true;
            modal->close();
        }
    });
    guard.start();
    form->Form_Load();
    guard.stop();
    ASSERT_FALSE(dialogAtStartup) << "start-up showed the port dialog: " << port->lastOpenFailure();
    ASSERT_TRUE(port->isOpen()) << port->lastOpenFailure();
    if (!form->isVisible()) form->show();
}

bool PanelOnEmulator::waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (done()) return true;
        if (timer.elapsed() > timeoutMs) return false;
        QTest::qWait(2);
    }
}

void PanelOnEmulator::spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QTest::qWait(2);
}

QPushButton* PanelOnEmulator::panelButton(const QString& caption, const QString& heading) {
    return test::buttonByCaption(form.get(), caption, heading);
}

void PanelOnEmulator::click(const QString& caption, const QString& heading) {
    QPushButton* button = panelButton(caption, heading);
    ASSERT_NE(button, nullptr) << caption.toStdString();
    QTest::mouseClick(button, Qt::LeftButton);
}

std::string PanelOnEmulator::sentLine() const { return test::labelText(form.get(), "Label11"); }
std::string PanelOnEmulator::replyLine() const { return test::labelText(form.get(), "Label12"); }
std::string PanelOnEmulator::statusLine() const { return test::labelText(form.get(), "Label25"); }

QString PanelOnEmulator::notice() const {
    auto* label = form->findChild<QLabel*>("SendNotice");
    return label && label->isVisible() ? label->text() : QString();
}

bool PanelOnEmulator::displayIdle() { return !timer2().isEnabled() && !timer4().isEnabled() && sentLine().empty(); }

bool PanelOnEmulator::query(const QString& caption) {
    if (!waitUntil([this] { return displayIdle(); })) return false;
    QPushButton* button = panelButton(caption);
    if (button == nullptr) return false;
    const size_t logged = emulator ? emulator->rxLines().size() : 0;
    QTest::mouseClick(button, Qt::LeftButton);
    // The display clears 1.2 s after the send; the reply takes milliseconds. The emulator logs a
    // command before it answers, but its log is read on a thread of its own: wait for that too.
    return waitUntil([this] { return replyComplete(replyLine()); }) &&
           (!emulator || waitUntil([&] { return emulator->rxLines().size() > logged; }));
}

Form3* PanelOnEmulator::commandList() const { return form->findChild<Form3*>(); }

Form3* PanelOnEmulator::openCommandList() {
    if (commandList() == nullptr) {
        QPushButton* button = panelButton("Command Table");
        if (button == nullptr) return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    return commandList();
}

QComboBox* PanelOnEmulator::chooseInCommandList(const QString& listButton, const char* comboName,
                                                std::string_view itemStart) {
    Form3* list = commandList();
    if (list == nullptr) return nullptr;
    QPushButton* show = test::buttonByCaption(list, listButton);
    auto* combo = list->findChild<QComboBox*>(comboName);
    if (show == nullptr || combo == nullptr) return nullptr;
    QTest::mouseClick(show, Qt::LeftButton);
    // Each entry keeps its item text (tabs and all) in Qt::UserRole.
    for (int i = 0; i < combo->count(); ++i) {
        const std::string item = combo->itemData(i, Qt::UserRole).toString().toStdString();
        if (item.rfind(itemStart, 0) != 0) continue;
        combo->setCurrentIndex(i);
        // What the list's activation runs when the operator picks the entry.
        const std::string_view name(comboName);
        if (name == "Combo1") list->Combo1_Click();
        if (name == "Combo2") list->Combo2_Click();
        if (name == "Combo3") list->Combo3_Click();
        return combo;
    }
    return nullptr;
}

void PanelOnEmulator::sendFromCommandList() {
    Form3* list = commandList();
    ASSERT_NE(list, nullptr);
    QPushButton* send = test::buttonByCaption(list, "SEND");
    ASSERT_NE(send, nullptr);
    QTest::mouseClick(send, Qt::LeftButton);
}

void PanelOnEmulator::confirmPortDialog() {
    auto* dialog = form->findChild<Form2*>();
    ASSERT_NE(dialog, nullptr);
    QPushButton* ok = test::buttonByCaption(dialog, "OK");
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_TRUE(retryMessages.empty()) << retryMessages.front().toStdString();
    ASSERT_TRUE(port->isOpen()) << port->lastOpenFailure();
    ASSERT_TRUE(waitUntil([&] {
        auto* open = form->findChild<Form2*>();
        return open == nullptr || !open->isVisible();
    }));
}

}  // namespace zelt::e2e
