#pragma once

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "link/module1.h"
#include "panel/form1.h"
#include "testing/fake_device_catalog.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"
#include "testing/memory_settings_store.h"
#include "tests/support/made_timers.h"
#include "tests/support/panel_harness.h"
#include "tests/support/widgets.h"

namespace zelt::test {

// A started main window on a fake port whose timers run on virtual time. The test sees what the
// window does through the doubles (the port's writes, the timers, the store) and its labels.
struct Panel : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    FakeDeviceCatalog devices;
    FakeClock clock;
    MadeTimers<FakeTimer> timers;
    std::vector<QString> retries;
    int beeps = 0;
    std::unique_ptr<Form1> form;

    void SetUp() override {
        store.put("StartUP", "ComPort", "1");
        form = makeForm1(services());
        form->Form_Load();
        form->show();
    }
    // The doubles above as the window's services; a fixture that needs more adds to them.
    PanelServices services() {
        return {.module = module,
                .port = port,
                .store = store,
                .deviceFor = [](int n) { return "/dev/ttyS" + std::to_string(n - 1); },
                .makeTimer = timers.factory([this](int ms) { return std::make_unique<FakeTimer>(clock, ms); }),
                .retryMessage = [this](QWidget*, const QString& r) { retries.push_back(r); },
                .beep = [this] { ++beeps; },
                .devices = &devices};
    }
    FakeTimer& timer1() { return timers[0]; }
    FakeTimer& timer2() { return timers[1]; }
    FakeTimer& timer4() { return timers[2]; }
    FakeTimer& keeperTimer() { return timers[3]; }
    // The display lines: sent text (Label11), reply (Label12), status phrase (Label25).
    std::string sentLine() const { return labelText(form.get(), "Label11"); }
    std::string replyLine() const { return labelText(form.get(), "Label12"); }
    std::string statusLine() const { return labelText(form.get(), "Label25"); }
    // The "Not sent" notice while it shows, else empty.
    QString notice() const {
        auto* label = form->findChild<QLabel*>("SendNotice");
        return label && label->isVisible() ? label->text() : QString();
    }

    // Buttons by their control name (the arrows have no caption) or by the caption the operator sees.
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    QPushButton* captioned(const QString& caption, const QString& heading = {}) {
        return buttonByCaption(form.get(), caption, heading);
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void click(const char* name) { click(button(name)); }
    void press(const char* name, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(button(name), b); }
    void release(const char* name, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(button(name), b); }
};

}  // namespace zelt::test
