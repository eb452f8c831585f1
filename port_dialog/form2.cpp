#include "port_dialog/form2.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <iterator>
#include <vector>

#include "link/module1.h"
#include "link/port_transaction.h"
#include "platform/line/line_address.h"
#include "platform/line/line_choice.h"
#include "platform/line/port_choice.h"
#include "platform/net/service_line_port.h"
#include "platform/serial/serial_port.h"
#include "platform/settings/settings_store.h"
#include "ui/twips.h"

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

// The designed client area, and what the device area adds to its right and below it (twips).
constexpr double kDesignedWidth = 3105;
constexpr double kDeviceAreaWidth = 4275;
constexpr double kNoteHeight = 1155;
constexpr double kDeviceFrameLeft = kDesignedWidth - 45;
constexpr double kNoteTop = 3870;

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

Form2::Form2(Services services, QWidget* parent) : QDialog(parent), s_(std::move(services)) {
    setObjectName("Form2");
    setWindowTitle("  COM PORT");
    setAttribute(Qt::WA_DeleteOnClose);
    // The designed 3105 x 4005 twips, grown to the right and downwards by the device area.
    setFixedSize(px(kDesignedWidth + kDeviceAreaWidth), px(kNoteTop + kNoteHeight));
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
    connect(Text1_, &QLineEdit::textChanged, this, [this] {
        Text1_Change();
        showChosenPort();
    });
    connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });

    // OTHER box first, so it has the focus when the dialog opens.
    setTabOrder(Text1_, Option1_);
    setTabOrder(Option1_, Option2_);
    setTabOrder(Option2_, portOptions_[0]);
    for (int i = 0; i < 4; ++i) setTabOrder(portOptions_[i], portOptions_[i + 1]);
    setTabOrder(portOptions_[4], Command1_);
    setTabOrder(Command1_, Command2_);
    buildDeviceArea();
    setTabOrder(Command2_, deviceList_);
    setTabOrder(deviceList_, deviceText_);
    setTabOrder(deviceText_, useDevice_);
    // Tab enters each group at its selected option (the arrow keys move within the group).
    const std::vector<QRadioButton*> speedGroup{Option1_, Option2_};
    const std::vector<QRadioButton*> portGroupOptions(std::begin(portOptions_), std::end(portOptions_));
    for (const auto& group : {speedGroup, portGroupOptions}) {
        for (QRadioButton* option : group)
            connect(option, &QRadioButton::toggled, this, [group] { tabStopAtSelected(group); });
        tabStopAtSelected(group);
    }
    refreshPortTips();
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
    if (s_.module.BaudCode != kBaudCode9600) s_.module.BaudCode = kBaudCode19200;
    s_.port.setSettings(lineSettingsFor(s_.module.BaudCode));
    showSpeed();
}

void Form2::showSpeed() {
    if (s_.module.BaudCode == kBaudCode9600)
        select(Option1_, [this] { Option1_Click(); });
    else
        select(Option2_, [this] { Option2_Click(); });
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
void Form2::PortOption_Click(int16_t number) {
    s_.module.ComPortNumber = number;
    showChosenPort();
}

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

void Form2::retry(const QString& reason, QWidget* parent) {
    if (parent == nullptr) parent = this;
    if (s_.retryMessage)
        s_.retryMessage(parent, reason);
    else
        showRetryComport(parent, reason);
}

void Form2::Command1_Click() {
    const PortChoiceResult r = acceptPortChoice(s_.module, s_.port, s_.store, givenDevice(s_.module.ComPortNumber),
                                                [this] { Text1_->setText("0"); });
    if (!r.opened()) {
        retry(qs(r.reason));
        return;
    }
    close();
    if (s_.showMainWindow) s_.showMainWindow();
}

void Form2::Command2_Click() {
    const PortChoiceResult r = cancelPortChoice(s_.module, s_.port);
    if (r.outcome != PortChoiceResult::Outcome::NoEarlierPort) showSpeed();  // the previous speed, also on failure
    if (r.opened()) {
        close();
        if (s_.showMainWindow) s_.showMainWindow();
        return;
    }
    QWidget* parent = this;
    if (r.closedPort) {
        parent = parentWidget();
        close();
    }
    retry(qs(r.reason), parent);
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

// ---- The device area ---------------------------------------------------------------------------

void Form2::buildDeviceArea() {
    auto* frame = place(new QGroupBox("Device", this), "DeviceFrame", kDeviceFrameLeft, 240, 3960, 3495);
    place(new QLabel("Serial devices found:", frame), "DeviceListLabel", 120, 240, 3720, 255);
    deviceList_ = place(new QListWidget(frame), "DeviceList", 120, 510, 3720, 1425);
    // Each device on two lines, its description (where it has one) over its name; a long by-id
    // name keeps both ends.
    deviceList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    deviceList_->setTextElideMode(Qt::ElideMiddle);
    deviceList_->setAlternatingRowColors(true);
    place(new QLabel("Or type a path or network address:", frame), "DeviceTextLabel", 120, 2025, 3720, 255);
    deviceText_ = place(new QLineEdit(frame), "DeviceText", 120, 2295, 3720, 315);
    deviceText_->setPlaceholderText("/dev/ttyUSB0, tcp://host:port, zelt://NAME");
    useDevice_ = place(new QPushButton(frame), "UseDevice", 120, 2760, 2160, 375);
    useDevice_->setAutoDefault(false);
    deviceNote_ = place(new QLabel(this), "DeviceNote", 360, kNoteTop, kDesignedWidth + kDeviceAreaWidth - 720,
                        kNoteHeight - 120);
    deviceNote_->setWordWrap(true);
    deviceNote_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    deviceNote_->setTextFormat(Qt::PlainText);
    deviceNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);  // a command in a reason can be copied

    // A listed device goes into the box, so "Use" always gives what the box shows.
    connect(deviceList_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> items = deviceList_->selectedItems();
        if (!items.isEmpty() && items.front()->data(Qt::UserRole).isValid())
            deviceText_->setText(items.front()->data(Qt::UserRole).toString());
    });
    connect(deviceList_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item->data(Qt::UserRole).isValid()) UseDevice_Click();
    });
    connect(deviceText_, &QLineEdit::returnPressed, this, [this] { UseDevice_Click(); });
    connect(useDevice_, &QPushButton::clicked, this, [this] { UseDevice_Click(); });
    if (!s_.devices) refreshDevices();  // else when shown, as the watch begins
    showChosenPort();
}

std::string Form2::givenDevice(int number) const {
    const auto it = given_.find(number);
    return it == given_.end() ? std::string() : it->second;
}

PortTarget Form2::opens(int number) const { return portTarget(number, s_.env, givenDevice(number), s_.deviceFor); }

QString Form2::describeTarget(const std::string& target, bool withPresence) const {
    const LineTarget::Kind kind = parseLineTarget(target).kind;
    if (kind == LineTarget::Kind::Network) return qs(target + " - network line");
    if (kind == LineTarget::Kind::Service) return qs(target + " - a projector of the service on this machine");
    if (const SerialDevice* d = DeviceCatalog::find(listed_, target)) {
        const std::string& about = !d->description.empty() ? d->description : d->manufacturer;
        return qs(about.empty() ? target : target + " - " + about);
    }
    if (withPresence && s_.devices && !s_.devices->isPresent(target))
        return qs(target + " - no such device is present now");
    return qs(target);
}

void Form2::refreshDevices() {
    if (!deviceList_) return;
    listed_ = s_.devices ? s_.devices->devices() : std::vector<SerialDevice>{};
    const QString selected =
        deviceList_->currentItem() ? deviceList_->currentItem()->data(Qt::UserRole).toString() : QString();
    const QSignalBlocker quiet(deviceList_);
    deviceList_->clear();
    for (const SerialDevice& d : listed_) {
        const std::string about = !d.description.empty() ? d.description : d.manufacturer;
        auto* item = new QListWidgetItem(qs(about.empty() ? d.name() : about + "\n" + d.name()), deviceList_);
        item->setData(Qt::UserRole, qs(d.name()));
        std::string tip = d.name() + "\ndevice file: " + d.location;
        if (!d.manufacturer.empty()) tip += "\nmaker: " + d.manufacturer;
        if (!d.serialNumber.empty()) tip += "\nserial number: " + d.serialNumber;
        if (!d.usbId.empty()) tip += "\nUSB vendor:product " + d.usbId;
        item->setToolTip(qs(tip));
        if (item->data(Qt::UserRole).toString() == selected) deviceList_->setCurrentItem(item);
    }
    // The projectors the service on this machine shares: reached through it, with its speed.
    const std::vector<std::string> shared = serviceProjectorNames();
    for (const std::string& name : shared) {
        const std::string address = "zelt://" + name;
        auto* item = new QListWidgetItem(qs("Projector " + name + " of the service\n" + address), deviceList_);
        item->setData(Qt::UserRole, qs(address));
        item->setToolTip(qs(address + "\nreached through the projector service (zeltd) on this machine, which "
                                      "owns the line and sets its speed"));
        if (item->data(Qt::UserRole).toString() == selected) deviceList_->setCurrentItem(item);
    }
    if (listed_.empty() && shared.empty()) {
        // Pseudo-terminals and network lines are never listed: they are typed.
        auto* none = new QListWidgetItem("None found. Plug in an adapter, or type a path below.", deviceList_);
        none->setFlags(Qt::NoItemFlags);
    }
}

void Form2::refreshPortTips() {
    for (int i = 0; i < 5; ++i) {
        const int n = kPortOptions[i].number;
        const PortTarget target = opens(n);
        if (!s_.deviceFor && target.source == PortSource::Mapping) continue;
        QString tip = describeTarget(target.target, true);
        if (target.source == PortSource::Environment) tip += qs(" (set by " + portEnvironmentVariable(n) + ")");
        portOptions_[i]->setToolTip(tip);
    }
}

void Form2::showNote(const QString& text, bool problem) {
    noteIsProblem_ = problem;
    deviceNote_->setStyleSheet(problem ? "QLabel { color: rgb(192, 0, 0); }" : "");
    deviceNote_->setText(text);
}

void Form2::showChosenPort() {
    if (!useDevice_) return;
    const int n = s_.module.ComPortNumber;
    if (!isValidPort(n)) {
        useDevice_->setText("Use for the port");
        useDevice_->setEnabled(false);
        showNote("Choose a port (COM1 to COM5, or 1 to 15 beside OTHER), then the device it should open.", false);
        return;
    }
    const QString port = qs(portKey(n));
    useDevice_->setText("Use for " + port);
    const PortTarget target = opens(n);
    if (target.source == PortSource::Environment) {
        useDevice_->setEnabled(false);
        showNote(qs(portEnvironmentVariable(n) + " is set: " + portKey(n) + " opens " + target.target +
                    " whatever is chosen here (the variable wins)."),
                 false);
        return;
    }
    useDevice_->setEnabled(true);
    const QString what = describeTarget(target.target, true);
    showNote(target.source == PortSource::Given
                 ? port + " will open " + what + ". OK opens it and keeps it for next time."
                 : port + " opens " + what + ".",
             false);
}

void Form2::UseDevice_Click() {
    const int n = s_.module.ComPortNumber;
    if (!isValidPort(n) || opens(n).source == PortSource::Environment) {
        showChosenPort();  // says what to do first
        return;
    }
    const TypedLine typed = checkTypedLine(deviceText_->text().trimmed().toStdString(), listed_);
    if (!typed.problem.empty()) {
        showNote(qs("Not used: " + typed.problem), true);
        return;
    }
    given_[n] = typed.target;
    refreshPortTips();
    showChosenPort();
}

void Form2::showEvent(QShowEvent* event) {
    // The list follows plugging and pulling only while the dialog shows.
    if (s_.devices) {
        watch_ = s_.devices->watch([this] {
            refreshDevices();
            refreshPortTips();
            if (!noteIsProblem_) showChosenPort();
        });
        refreshDevices();
        refreshPortTips();
        showChosenPort();
    }
    QDialog::showEvent(event);
}

void Form2::hideEvent(QHideEvent* event) {
    watch_.reset();
    QDialog::hideEvent(event);
}

}  // namespace zelt
