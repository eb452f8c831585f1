#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/module1.h"
#include "panel/form1.h"
#include "platform/fake_serial_port.h"
#include "platform/fake_timer.h"
#include "platform/memory_settings_store.h"

namespace zelt::test {

// A started main window on a fake port whose timers run on virtual time.
struct Panel : ::testing::Test {
    Module1 module;
    FakeSerialPort port;
    MemorySettingsStore store;
    FakeClock clock;
    std::vector<QString> retries;
    std::unique_ptr<Form1> form;

    void SetUp() override {
        store.put("StartUP", "ComPort", "1");
        form = std::make_unique<Form1>(Form1::Services{
            module, port, store, [](int n) { return "/dev/ttyS" + std::to_string(n - 1); },
            [this](int ms) { return std::make_unique<FakeTimer>(clock, ms); },
            [this](QWidget*, const QString& r) { retries.push_back(r); }, [] {}});
        form->Form_Load();
        form->show();
    }
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void press(const char* name, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(button(name), b); }
    void release(const char* name, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(button(name), b); }
};

}  // namespace zelt::test
