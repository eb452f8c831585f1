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
#include "link/projector_line.h"
#include "panel/press_and_hold.h"
#include "platform/line/port_map.h"
#include "port_dialog/form2.h"

class QFrame;
class QLabel;
class QPushButton;

namespace zelt {

struct ButtonRow;
class DeviceCatalog;
struct Module1;
class SerialPort;
class SettingsStore;
class Timer;
class TrafficLog;

// The main window: the control panel. It owns the use of the serial port, the three timers and
// the display lines; every command goes out through Hyouji. It holds its port as a projector
// line: one that goes away is waited for and reopened by the line's keeper, with a notice while it
// is down. The window reads the port itself, so every byte shows as it comes.
class Form1 : public QWidget, private ExchangeDisplay, private HoldHost, private CommandListHost {
    Q_OBJECT
public:
    struct Services {
        Module1& module;
        SerialPort& port;
        SettingsStore& store;
        std::function<std::string(int)> deviceFor;                                 // port number -> device
        std::function<std::unique_ptr<Timer>(int intervalMs)> makeTimer;           // default: Qt timers
        std::function<void(QWidget* parent, const QString& reason)> retryMessage;  // default: box
        std::function<void()> endSystem;                                           // default: quit the app
        std::function<void()> beep = {};                                           // default: the desktop's
        DeviceCatalog* devices = nullptr;  // the port dialog's list, the keeper's presence; default: Qt's
        EnvLookup env = {};                // ZELT_COM<n>, shown in the port dialog as winning
        TrafficLog* trafficLog = nullptr;  // told every send, failed send and receipt; outlives the window
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

    // What the device sent since the exchange began (bounded; panel_perf watches it reach its bound).
    const std::string& ReceiveBuffer() const { return exchange_->receiveBuffer(); }
    // Waits for a lost line and reopens it.
    const LinkKeeper& keeper() const { return line_->keeper(); }

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
    Timer& Timer2() override { return *timer2_; }
    Timer& Timer4() override { return *timer4_; }
    void setStatusFrameVisible(bool visible) override;
    void showMainWindow() override;

    void buildPanel();
    QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, double left, double top, double width,
                      double height);
    Form2* createPortDialog();
    void showPortDialogModal();
    // The client height in twips (the views: 5300 compact, 7620 full).
    int clientHeightTwips() const;
    void setClientHeightTwips(int twips);
    void placeBelow(QWidget* window);
    void hideSendNotice();
    void showNotice(const QString& text);
    void showLinkState();

    Services s_;
    std::unique_ptr<zelt::Timer> timer1_;
    std::unique_ptr<zelt::Timer> timer2_;
    std::unique_ptr<zelt::Timer> timer4_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<PressAndHold> hold_;
    std::unique_ptr<DeviceCatalog> ownDevices_;  // when the services bring none
    std::unique_ptr<ProjectorLine> line_;
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
    bool repeatTick_ = false;  // inside Timer1_Timer: a repetition, not a fresh press
};

}  // namespace zelt
