#include "port_dialog/form2.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <iterator>
#include <vector>

#include "link/module1.h"
#include "link/stored_number.h"
#include "platform/port_choice.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/twips.h"

namespace zelt {

namespace {

struct PortOption {
    const char* name;
    const char* caption;
    int16_t number;
    double left, top, width, height;
};

constexpr PortOption kPortOptions[5] = {
    {"Option3", "COM1", 1, 180, 180, 1155, 315},  {"Option4", "COM2", 2, 180, 540, 1095, 255},
    {"Option5", "COM3", 3, 180, 900, 975, 255},   {"Option6", "COM4", 4, 180, 1260, 1215, 255},
    {"Option7", "COM5", 5, 180, 1620, 1335, 255},
};

}  // namespace

Form2::Form2(Services services, QWidget* parent) : QDialog(parent), s_(std::move(services)) {
    setObjectName("Form2");
    setWindowTitle("  COM PORT");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(3105), px(4005));
    // Frame captions on the frame's line, with the options placed under it as designed.
    setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 3px; }");

    Frame1_ = place(new QGroupBox("Baud Rate", this), "Frame1", 360, 240, 2415, 615);
    Option1_ = place(new QRadioButton("9600", Frame1_), "Option1", 120, 180, 1575, 375);
    Option2_ = place(new QRadioButton("19200", Frame1_), "Option2", 1320, 240, 975, 255);
    Option2_->setChecked(true);  // as created, before Form_Load applies BaudCode

    Frame2_ = place(new QGroupBox("Com Port", this), "Frame2", 360, 1200, 1455, 2535);
    // A group of its own, so that no port option is selected when the dialog is created.
    auto* portGroup = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        const PortOption& o = kPortOptions[i];
        portOptions_[i] = place(new QRadioButton(o.caption, Frame2_), o.name, o.left, o.top, o.width, o.height);
        portGroup->addButton(portOptions_[i]);
        if (s_.deviceFor) portOptions_[i]->setToolTip(QString::fromStdString(s_.deviceFor(o.number)));
        connect(portOptions_[i], &QRadioButton::toggled, this, [this, n = o.number](bool on) {
            if (on) PortOption_Click(n);
        });
        // Clicking the option already selected chooses it again, after a number typed beside OTHER.
        connect(portOptions_[i], &QRadioButton::clicked, this, [this, n = o.number] { PortOption_Click(n); });
    }
    Text1_ = place(new QLineEdit("0", Frame2_), "Text1", 180, 2040, 375, 270);
    Text1_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), Text1_));
    Text1_->setMaxLength(3);
    Text1_->setToolTip("Port number 1 to 15 (6 to 15 only here)");
    Text1_->setTextMargins(0, 0, 0, 0);
    Label1_ = place(new QLabel("OTHER", Frame2_), "Label1", 600, 2100, 615, 255);

    Command1_ = place(new QPushButton("OK", this), "Command1", 2040, 1320, 735, 615);
    Command2_ = place(new QPushButton("Cancel", this), "Command2", 2040, 2160, 735, 615);
    // Neither button answers Enter by itself.
    for (QPushButton* b : {Command1_, Command2_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    connect(Option1_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option1_Click();
    });
    connect(Option2_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) Option2_Click();
    });
    connect(Text1_, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });

    // OTHER box first, so it has the focus when the dialog opens.
    setTabOrder(Text1_, Option1_);
    setTabOrder(Option1_, Option2_);
    setTabOrder(Option2_, portOptions_[0]);
    for (int i = 0; i < 4; ++i) setTabOrder(portOptions_[i], portOptions_[i + 1]);
    setTabOrder(portOptions_[4], Command1_);
    setTabOrder(Command1_, Command2_);
    // Tab enters each group at its selected option (the arrow keys move within the group).
    const std::vector<QRadioButton*> speedGroup{Option1_, Option2_};
    const std::vector<QRadioButton*> portGroupOptions(std::begin(portOptions_), std::end(portOptions_));
    for (const auto& group : {speedGroup, portGroupOptions}) {
        for (QRadioButton* option : group)
            connect(option, &QRadioButton::toggled, this, [group] { tabStopAtSelected(group); });
        tabStopAtSelected(group);
    }
    Text1_->setFocus();
}

void Form2::tabStopAtSelected(const std::vector<QRadioButton*>& group) {
    const auto selected = std::find_if(group.begin(), group.end(), [](QRadioButton* o) { return o->isChecked(); });
    QRadioButton* stop = selected != group.end() ? *selected : group.front();
    for (QRadioButton* option : group) option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form2::select(QRadioButton* option, const std::function<void()>& handler) {
    if (option->isChecked())
        handler();  // no toggle signal for an option already selected; the choice still counts
    else
        option->setChecked(true);  // raises the click handler through toggled()
}

void Form2::selectSpeed() {
    if (s_.module.BaudCode == kBaudCode9600) {
        s_.port.setSettings(settingsStringFor(kBaudCode9600));
        select(Option1_, [this] { Option1_Click(); });
    } else {
        s_.port.setSettings(settingsStringFor(kBaudCode19200));
        select(Option2_, [this] { Option2_Click(); });
        s_.module.BaudCode = kBaudCode19200;
    }
}

void Form2::Form_Load() {
    const int16_t n = s_.module.ComPortNumber;
    if (n >= kFirstPort && n < kFirstPort + static_cast<int>(std::size(kPortOptions)))
        select(portOptions_[n - kFirstPort], [this, n] { PortOption_Click(n); });
    selectSpeed();
    Text1_->setFocus();
    Text1_->setSelection(0, 1);  // typing replaces the "0"
}

void Form2::Option1_Click() { s_.module.BaudCode = kBaudCode9600; }
void Form2::Option2_Click() { s_.module.BaudCode = kBaudCode19200; }
void Form2::PortOption_Click(int16_t number) { s_.module.ComPortNumber = number; }

void Form2::Text1_Change() {
    const QString text = Text1_->text();
    if (text.isEmpty()) return;  // the operator is still typing: keep the port and the box
    bool ok = false;
    const int number = text.toInt(&ok);
    if (ok && isValidPort(number)) {
        s_.module.ComPortNumber = static_cast<int16_t>(number);
    } else if (text != "0") {
        Text1_->setText("0");  // runs this handler again, which reads 0 and stops here
    }
}

void Form2::retry(const QString& reason) {
    if (s_.retryMessage)
        s_.retryMessage(this, reason);
    else
        showRetryComport(this, reason);
}

void Form2::Command1_Click() {
    Module1& m = s_.module;
    s_.port.setSettings(settingsStringFor(m.BaudCode));
    // A number outside 1..15 (read from a damaged store) is no choice either.
    if (!isValidPort(m.ComPortNumber)) {
        retry("Choose a port: COM1 to COM5, or type a number from 1 to 15 beside OTHER.");
        return;
    }
    s_.port.setCommPort(m.ComPortNumber);
    if (!s_.port.open()) {
        retry(QString::fromStdString(s_.port.lastOpenFailure()));
        return;
    }
    Text1_->setText("0");
    const bool stored =
        s_.store.write(kSettingsApplication, kStartupSection, kComPortKey, std::to_string(m.ComPortNumber)) &&
        s_.store.write(kSettingsApplication, kStartupSection, kBaudRateKey, std::to_string(m.BaudCode));
    if (!stored) {
        // The choice would not survive a restart. Close again, so that OK can simply be retried.
        s_.port.close();
        retry(
            "The port opened, but the choice could not be saved in the settings file; "
            "check that your settings folder is writable.");
        return;
    }
    close();
    if (s_.showMainWindow) s_.showMainWindow();
}

void Form2::Command2_Click() {
    Module1& m = s_.module;
    m.ComPortNumber = m.PreviousComPortNumber;
    if (isValidPort(m.ComPortNumber)) {
        m.BaudCode = m.PreviousBaudCode;
        selectSpeed();
        s_.port.setCommPort(m.ComPortNumber);
        if (!s_.port.open()) {
            retry(QString::fromStdString(s_.port.lastOpenFailure()));
            return;
        }
        close();
        if (s_.showMainWindow) s_.showMainWindow();
        return;
    }
    // No earlier settings to return to (always so in the dialog shown at start-up).
    QWidget* parent = this;
    if (s_.port.isOpen()) {
        s_.port.close();
        parent = parentWidget();
        close();
    }
    const QString reason = "There is no earlier port to return to: choose a port and press OK.";
    if (s_.retryMessage)
        s_.retryMessage(parent, reason);
    else
        showRetryComport(parent, reason);
}

void Form2::showRetryComport(QWidget* parent, const QString& reason) {
    QMessageBox box(QMessageBox::Warning, "Error", "Retry Comport", QMessageBox::Ok, parent);
    box.setInformativeText(reason);
    box.exec();
}

void Form2::keyPressEvent(QKeyEvent* event) {
    // Escape does not cancel and Enter does not accept: only the buttons act.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace zelt
