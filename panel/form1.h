#pragma once

#include <QPointer>

#include "port_dialog/form2.h"
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QPushButton;

namespace zelt {

struct Module1;
class SerialPort;
class SettingsStore;
class Timer;

// The main window: the control panel. It owns the serial port's use, the three timers and the
// display lines; every command goes out through Hyouji.
class Form1 : public QWidget {
    Q_OBJECT
public:
    struct Services {
        Module1& module;
        SerialPort& port;
        SettingsStore& store;
        std::function<std::string(int)> deviceFor;                     // port number -> device
        std::function<std::unique_ptr<Timer>(int intervalMs)> makeTimer;  // default: Qt timers
        std::function<void(QWidget* parent, const QString& reason)> retryMessage;  // default: box
        std::function<void()> endSystem;                                // default: quit the app
    };

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up; runs before the window is first shown.
    void Form_Load();
    // The window is asked to close: closes an open port. Never refuses.
    void Form_QueryUnload();
    void Command33_Click();  // "COM"
    void Command16_Click();  // "END"

    Timer& Timer1() { return *timer1_; }
    Timer& Timer2() { return *timer2_; }
    Timer& Timer4() { return *timer4_; }
    Form2* portDialog() const { return portDialog_; }

    // The client height in twips (the views: 5300 compact, 7620 full).
    int clientHeightTwips() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class StartupAdapter;
    Form2* createPortDialog();
    void showPortDialogModal();
    void setClientHeightTwips(int twips);

    Services s_;
    std::unique_ptr<zelt::Timer> timer1_;
    std::unique_ptr<zelt::Timer> timer2_;
    std::unique_ptr<zelt::Timer> timer4_;
    QPointer<Form2> portDialog_;

    // Exchange state (used by the send and receive paths).
    uint8_t RepeatKey_ = 0;
    uint8_t AwaitingReply_ = 0;
    std::string ReceiveBuffer_;
};

}  // namespace zelt
