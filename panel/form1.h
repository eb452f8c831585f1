#pragma once

#include <QFont>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "command_list/command_list_host.h"
#include "command_list/form3.h"
#include "link/exchange.h"
#include "panel/press_and_hold.h"
#include "port_dialog/form2.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zelt {

struct ButtonRow;
struct Module1;
class SerialPort;
class SettingsStore;
class Timer;

// The main window: the control panel. It owns the use of the serial port, the three timers and
// the display lines; every command goes out through Hyouji.
class Form1 : public QWidget, private ExchangeDisplay, private HoldHost, private CommandListHost {
    Q_OBJECT
public:
    struct Services {
        Module1& module;
        SerialPort& port;
        SettingsStore& store;
        std::function<std::string(int)> deviceFor;                        // port number -> device
        std::function<std::unique_ptr<Timer>(int intervalMs)> makeTimer;  // default: Qt timers
        std::function<void(QWidget* parent, const QString& reason)> retryMessage;  // default: box
        std::function<void()> endSystem;                                  // default: quit the app
    };

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up; runs before the window is first shown.
    void Form_Load();
    // The window is asked to close: closes an open port. Never refuses.
    void Form_QueryUnload();
    void Command33_Click();  // "COM"
    void Command16_Click();  // "END"
    void Command74_Click();  // "Command Table"

    // Sends (Direction::Send) or shows and decodes received text (any other direction).
    void Hyouji(const std::string& text, Direction direction) override;
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer4_Timer();
    void Cont_M_down();
    void Cont_M_up();
    // Key preview: Ctrl+H switches between the compact and the full view.
    void Form_KeyDown(int keyCode, int shift);

    // The Click handler of every send button, CommandN_MouseDown/Up of every arrow button.
    void sendButton_Click(const ButtonRow& row);
    void holdButton_MouseDown(const ButtonRow& row);
    void holdButton_MouseUp();

    Timer& Timer1() { return *timer1_; }
    Timer& Timer2() override { return *timer2_; }
    Timer& Timer4() override { return *timer4_; }
    Form2* portDialog() const { return portDialog_; }
    Form3* commandList() const { return commandList_; }

    // What the display lines hold (the labels show as much of it as fits).
    const std::string& sentLine() const { return sentLine_; }
    const std::string& replyLine() const { return replyLine_; }
    const std::string& statusLine() const { return statusLine_; }
    std::uint8_t AwaitingReply() const { return exchange_->awaitingReply(); }
    const std::string& ReceiveBuffer() const { return exchange_->receiveBuffer(); }
    std::uint8_t RepeatKey() const { return hold_->repeatKey(); }
    std::int16_t HoldActive() const { return hold_->holdActive(); }
    // The last "not sent" notice, empty when none is showing.
    QString sendNotice() const;
    // How many times a failed send has beeped.
    int beepsGiven() const { return beeps_; }

    // The client height in twips (the views: 5300 compact, 7620 full).
    int clientHeightTwips() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class StartupAdapter;

    // ExchangeDisplay
    void setSentLine(const std::string& text) override;
    void setReplyLine(const std::string& text) override;
    void setStatusLine(const std::string& text) override;
    void showSpaceLegend() override;
    void showCarriageReturnLegend() override;
    void hideLegends() override;
    void sendFailed() override;
    // HoldHost
    void clearTranscriptLines() override;
    void clearReceiveBuffer() override;
    // CommandListHost
    void setStatusFrameVisible(bool visible) override;
    void showMainWindow() override;

    void buildPanel();
    QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, double left, double top,
                      double width, double height);
    Form2* createPortDialog();
    void showPortDialogModal();
    void setClientHeightTwips(int twips);
    void placeBelow(QWidget* window);
    void hideSendNotice();

    Services s_;
    std::unique_ptr<zelt::Timer> timer1_;
    std::unique_ptr<zelt::Timer> timer2_;
    std::unique_ptr<zelt::Timer> timer4_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<PressAndHold> hold_;
    QPointer<Form2> portDialog_;
    QPointer<Form3> commandList_;

    std::map<std::string, QFrame*> frames_;
    QLabel* Label11_ = nullptr;  // sent-text line
    QLabel* Label12_ = nullptr;  // reply line
    QLabel* Label25_ = nullptr;  // status line
    QFont statusFont_;
    QLabel* Label27_ = nullptr;  // space legend
    QLabel* Label28_ = nullptr;  // carriage-return legend
    QLabel* notice_ = nullptr;
    QTimer noticeTimer_;
    int beeps_ = 0;
    bool repeatTick_ = false;  // inside Timer1_Timer: a repetition, not a fresh press
    std::string sentLine_, replyLine_, statusLine_;
};

}  // namespace zelt
