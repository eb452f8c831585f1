#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zelt {

struct Module1;
class SerialPort;
class SettingsStore;

// The port settings dialog "  COM PORT": chooses port number and speed, opens the port with them
// and stores them. Its option buttons and the OTHER box change ComPortNumber and BaudCode at once;
// only OK and Cancel act on the port.
class Form2 : public QDialog {
    Q_OBJECT
public:
    struct Services {
        Module1& module;
        SerialPort& port;
        SettingsStore& store;
        std::function<std::string(int)> deviceFor;  // shown as each port option's tooltip
        std::function<void()> showMainWindow;
        // The modal "Retry Comport" box; `reason` tells the operator why.
        std::function<void(QWidget* parent, const QString& reason)> retryMessage;
    };

    explicit Form2(Services services, QWidget* parent = nullptr);

    void Form_Load();
    void Option1_Click();                   // "9600"
    void Option2_Click();                   // "19200"
    void PortOption_Click(int16_t number);  // "COM1".."COM5"
    void Text1_Change();
    void Command1_Click();  // OK
    void Command2_Click();  // Cancel

    static void showRetryComport(QWidget* parent, const QString& reason);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static void tabStopAtSelected(const std::vector<QRadioButton*>& group);
    // Selecting an option in code counts as the operator's choice: its click handler runs.
    void select(QRadioButton* option, const std::function<void()>& handler);
    void selectSpeed();
    void retry(const QString& reason);

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
};

}  // namespace zelt
