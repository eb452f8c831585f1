#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/line/port_map.h"
#include "platform/serial/device_catalog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace zelt {

struct Module1;
struct PortChoiceResult;
class SerialPort;
class SettingsStore;

// The port settings dialog "  COM PORT": chooses port number and speed, opens the port with them
// and stores them. Its option buttons and the OTHER box change ComPortNumber and BaudCode at once;
// only OK and Cancel act on the port, through the port-choice steps of link/.
//
// To the right of the designed controls, a device area lists the serial devices present and takes
// a typed device path or network address; "Use for COM<n>" gives the chosen one to the chosen port
// number. OK opens the port with it and stores it as the port's mapping with the port and speed.
class Form2 : public QDialog {
    Q_OBJECT
public:
    struct Services {
        Module1& module;
        SerialPort& port;
        SettingsStore& store;
        std::function<std::string(int)> deviceFor;  // what port n opens now, for tooltips and the device area
        std::function<void()> showMainWindow;
        // The modal "Retry Comport" box; `reason` tells the operator why.
        std::function<void(QWidget* parent, const QString& reason)> retryMessage;
        DeviceCatalog* devices = nullptr;  // listed while the dialog shows; none: typed paths only
        EnvLookup env = {};                // ZELT_COM<n>, which wins over a device given here
    };

    explicit Form2(Services services, QWidget* parent = nullptr);

    void Form_Load();
    void Option1_Click();                   // "9600"
    void Option2_Click();                   // "19200"
    void PortOption_Click(int16_t number);  // "COM1".."COM5"
    void Text1_Change();
    void Command1_Click();  // OK
    void Command2_Click();  // Cancel

    // The device area's "Use for COM<n>": gives the typed (or listed) device to the chosen port
    // number until OK stores it; a bad one is refused with its reason.
    void UseDevice_Click();
    // What was given to port n in this dialog; empty when nothing was.
    std::string givenDevice(int number) const;

    static void showRetryComport(QWidget* parent, const QString& reason);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    static void tabStopAtSelected(const std::vector<QRadioButton*>& group);
    // Selecting an option in code counts as the operator's choice: its click handler runs.
    void select(QRadioButton* option, const std::function<void()>& handler);
    void selectSpeed();
    void showSpeed();
    void retry(const QString& reason, QWidget* parent = nullptr);

    void buildDeviceArea();
    // What port n opens, and why: by the variable, given here, or by its mapping (deviceFor).
    PortTarget opens(int number) const;
    QString describeTarget(const std::string& target, bool withPresence) const;
    void refreshDevices();
    void refreshPortTips();
    void showChosenPort();
    void showNote(const QString& text, bool problem);
    bool noteIsProblem_ = false;

    Services s_;
    QGroupBox* Frame1_;
    QGroupBox* Frame2_;
    QRadioButton* Option1_;
    QRadioButton* Option2_;
    QRadioButton* portOptions_[5];  // Option3..Option7
    QLineEdit* Text1_;
    QLabel* Label1_;
    QPushButton* Command1_;
    QPushButton* Command2_;

    // The device area.
    QListWidget* deviceList_ = nullptr;
    QLineEdit* deviceText_ = nullptr;
    QPushButton* useDevice_ = nullptr;
    QLabel* deviceNote_ = nullptr;
    std::vector<SerialDevice> listed_;
    std::map<int, std::string> given_;  // port number -> device or address given in this dialog
    DeviceCatalog::Watch watch_;
};

}  // namespace zelt
