#include "panel/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "link/module1.h"
#include "link/startup.h"
#include "link/timing.h"
#include "link/wire.h"
#include "panel/arrow_icon.h"
#include "panel/button_table.h"
#include "panel/hold_button.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/serial/serial_port.h"
#include "platform/system/qt_timer.h"
#include "ui/twips.h"

namespace zelt {

namespace {

constexpr int kClientWidth = 10185;
constexpr int kFullViewThreshold = 6520;  // client height at or above which Ctrl+H goes compact
// A display line shows only its beginning; more characters than this never fit its width, so
// the label is spared the layout of a long flood.
constexpr int kVisibleChars = 400;

constexpr int kShift = 1, kCtrl = 2, kAlt = 4;
constexpr int kKeyH = 72;

QString faceStyle(const QColor& face) {
    return QString(
               "QPushButton { background-color: %1; color: black; border: 1px solid %2;"
               " border-radius: 3px; padding: 0px; font-weight: bold; }"
               "QPushButton:hover { background-color: %3; }"
               "QPushButton:pressed { background-color: %4; }"
               "QPushButton:focus { border: 2px solid #1a4f9c; }")
        .arg(face.name(), face.darker(160).name(), face.lighter(108).name(), face.darker(125).name());
}

// The design's faces were narrower than the bold faces found here: shrink the size until the text
// fits its room.
QFont fittedFont(QFont f, const QString& text, int room) {
    while (f.pointSizeF() > 7.0 && QFontMetrics(f).horizontalAdvance(text) > room)
        f.setPointSizeF(f.pointSizeF() - 0.25);
    return f;
}

// Narrows a caption's font until it fits its button.
void fitCaption(QPushButton* button) {
    if (button->text().isEmpty()) return;
    button->setFont(fittedFont(button->font(), button->text(), button->width() - 6));
}

QString latin1(const std::string& s, int limit = -1) {
    const int n = limit < 0 ? static_cast<int>(s.size()) : std::min<int>(limit, static_cast<int>(s.size()));
    return QString::fromLatin1(s.data(), n);
}

}  // namespace

// Start-up's view of this window, in twips. Qt sizes a window by its client area, so the outer
// height is the client height plus the frame (the design's 480 twips until the window has one).
class Form1::StartupAdapter final : public StartupWindow {
public:
    explicit StartupAdapter(Form1& w) : w_(w) {}
    void setOuterHeight(int twips) override { w_.setClientHeightTwips(twips - kFrameAllowance); }
    double outerWidth() const override { return twips(w_.frameGeometry().width()); }
    double outerHeight() const override {
        const int frame = w_.frameGeometry().height() - w_.height();
        return twips(w_.height()) + (frame > 0 ? twips(frame) : kFrameAllowance);
    }
    double screenWidth() const override { return twips(screen().width()); }
    double screenHeight() const override { return twips(screen().height()); }
    void move(double left, double top) override { w_.move(px(left), px(top)); }
    void showPortDialogModal() override { w_.showPortDialogModal(); }
    void setExchangeIntervals(int timer2Ms, int timer4Ms) override {
        w_.timer2_->setInterval(timer2Ms);
        w_.timer4_->setInterval(timer4Ms);
    }
    void resetExchange() override {
        w_.hold_->resetRepeatKey();
        w_.exchange_->reset();
    }

private:
    QRect screen() const {
        QScreen* s = w_.screen() ? w_.screen() : QGuiApplication::primaryScreen();
        return s ? s->geometry() : QRect(0, 0, 1024, 768);
    }
    Form1& w_;
};

Form1::Form1(Services services, QWidget* parent) : QWidget(parent), s_(std::move(services)) {
    setObjectName("Form1");
    setWindowTitle("ZELT   QX480  CONTROL");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    QFont f = font();
    f.setPointSizeF(9);
    f.setBold(true);
    setFont(f);
    setFixedWidth(px(kClientWidth));
    setClientHeightTwips(kCompactClientHeight);

    if (!s_.makeTimer) {
        s_.makeTimer = [](int ms) -> std::unique_ptr<zelt::Timer> { return std::make_unique<QtTimer>(ms); };
    }
    if (!s_.endSystem) s_.endSystem = [] { QApplication::quit(); };
    if (!s_.beep) s_.beep = [] { QApplication::beep(); };
    timer1_ = s_.makeTimer(kInitialTimer1);
    timer2_ = s_.makeTimer(kInitialTimer2);
    timer4_ = s_.makeTimer(kInitialTimer4);
    exchange_ = std::make_unique<Exchange>(s_.module.CommandText, s_.port, *timer2_, *timer4_,
                                           static_cast<ExchangeDisplay&>(*this));
    exchange_->setTrafficLog(s_.trafficLog);
    hold_ = std::make_unique<PressAndHold>(s_.module.CommandText, *timer1_, *timer2_, *timer4_,
                                           static_cast<HoldHost&>(*this));
    if (!s_.devices) {
        ownDevices_ = std::make_unique<QtDeviceCatalog>();
        s_.devices = ownDevices_.get();
    }
    line_ = std::make_unique<ProjectorLine>(
        ProjectorLine::Parts{s_.port, *s_.devices, s_.makeTimer,
                             [this] { return s_.deviceFor ? s_.deviceFor(s_.module.ComPortNumber) : std::string(); }});
    line_->onChange = [this] { showLinkState(); };
    line_->readPortWith([this] { MSComm1_OnComm(); });
    timer1_->onTick = [this] { Timer1_Timer(); };
    timer2_->onTick = [this] { Timer2_Timer(); };
    timer4_->onTick = [this] { Timer4_Timer(); };

    buildPanel();

    noticeTimer_.setSingleShot(true);
    noticeTimer_.setInterval(kNoticeMs);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] { hideSendNotice(); });

    // Key preview: the window sees every key before its focused control.
    qApp->installEventFilter(this);
}

Form1::~Form1() {
    qApp->removeEventFilter(this);
    // The dialog watches the device list, which may be this window's own: it goes first.
    delete portDialog_;
    line_.reset();
    for (auto* t : {timer1_.get(), timer2_.get(), timer4_.get()}) {
        if (t) t->onTick = nullptr;
    }
}

QLabel* Form1::makeLabel(QWidget* parent, const char* name, const QString& text, double left, double top, double width,
                         double height) {
    auto* label = place(new QLabel(text, parent), name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    return label;
}

void Form1::buildPanel() {
    for (const FrameRow& fr : frameTable()) {
        auto* frame = place(new QFrame(this), fr.control, fr.left, fr.top, fr.width, fr.height);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frames_[fr.control] = frame;
        for (const HeadingLabel& h : fr.headings) {
            if (h.control == nullptr) continue;
            QLabel* label = makeLabel(frame, h.control, h.text, h.left, h.top, h.width, h.height);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (std::string_view(h.control) == "Label1") label->setStyleSheet("color: rgb(192, 0, 0);");
        }
    }

    for (const ButtonRow& row : buttonTable()) {
        QWidget* parent = row.frame ? static_cast<QWidget*>(frames_.at(row.frame)) : this;
        QPushButton* button =
            place(row.action == Action::Hold ? new HoldButton(parent) : new QPushButton(row.caption, parent),
                  row.control, row.left, row.top, row.width, row.height);
        if (row.face != Face::System) button->setStyleSheet(faceStyle(faceColor(row.face)));
        switch (row.action) {
        case Action::Send:
            button->setAutoDefault(true);  // Enter activates the focused button, as Space does
            connect(button, &QPushButton::clicked, this, [this, &row] { sendButton_Click(row); });
            break;
        case Action::Hold: {
            auto* hold = static_cast<HoldButton*>(button);
            hold->setIcon(arrowIcon(row.arrow));
            hold->setIconSize(arrowIconSize(row.arrow));
            connect(hold, &HoldButton::mouseDown, this, [this, &row] { holdButton_MouseDown(row); });
            connect(hold, &HoldButton::mouseUp, this, [this] { holdButton_MouseUp(); });
            break;
        }
        case Action::CommandTable: connect(button, &QPushButton::clicked, this, [this] { Command74_Click(); }); break;
        case Action::Com: connect(button, &QPushButton::clicked, this, [this] { Command33_Click(); }); break;
        case Action::End: {
            QFont endFont = button->font();
            endFont.setPointSize(12);
            button->setFont(endFont);
            connect(button, &QPushButton::clicked, this, [this] { Command16_Click(); });
            break;
        }
        }
        fitCaption(button);
    }

    // The transcript strip: the text last sent over the text received.
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(12);
    mono.setBold(true);
    const QString lineStyle = "QLabel { background-color: white; color: black; border: 1px solid #606060; }";
    QFrame* frame9 = frames_.at("Frame9");
    Label11_ = makeLabel(frame9, "Label11", "", 600, 195, 7575, 300);
    Label12_ = makeLabel(frame9, "Label12", "", 585, 555, 7575, 300);
    for (QLabel* line : {Label11_, Label12_}) {
        line->setFont(mono);
        line->setStyleSheet(lineStyle);
    }

    statusFont_ = font();
    statusFont_.setPointSizeF(10.5);
    Label25_ = makeLabel(frames_.at("Frame15"), "Label25", "", 1020, 135, 4950, 285);
    Label25_->setFont(statusFont_);
    Label25_->setStyleSheet("QLabel { background-color: white; color: rgb(255, 0, 0); border: 1px solid #606060; }");

    Label28_ = makeLabel(this, "Label28", "[CR] :Carriage Return Code (0x0D)", 120, 6405, 3495, 255);
    Label27_ = makeLabel(this, "Label27", "_ :Space Code (0x20)", 4200, 6405, 2295, 255);
    for (QLabel* legend : {Label27_, Label28_}) {
        legend->setStyleSheet("QLabel { color: rgb(255, 0, 0); }");
        legend->hide();
    }

    // Tells the operator that a command did not go out; it clears itself.
    notice_ = new QLabel(this);
    notice_->setObjectName("SendNotice");
    notice_->setStyleSheet(
        "QLabel { background-color: #fff7c0; color: black; border: 1px solid #806000;"
        " border-radius: 3px; padding: 3px 8px; }");
    notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice_->setWordWrap(true);
    notice_->hide();
}

int Form1::clientHeightTwips() const { return static_cast<int>(twips(height())); }

void Form1::setClientHeightTwips(int twipsHigh) { setFixedHeight(px(twipsHigh)); }

// ---- Start-up, "COM", "END", closing -------------------------------------------------------

void Form1::Form_Load() {
    StartupAdapter adapter(*this);
    runStartup(s_.module, s_.port, s_.store, adapter);
}

void Form1::Form_QueryUnload() { line_->close(); }

Form2* Form1::createPortDialog() {
    Form2::Services ds{s_.module,       s_.port,    s_.store, s_.deviceFor, [this] { showMainWindow(); },
                       s_.retryMessage, s_.devices, s_.env};
    auto* dialog = new Form2(std::move(ds), this);
    dialog->setWindowFlag(Qt::Dialog);
    portDialog_ = dialog;
    return dialog;
}

void Form1::showPortDialogModal() {
    Form2* dialog = createPortDialog();
    dialog->Form_Load();
    dialog->exec();
}

void Form1::Command33_Click() {
    // The operator chooses now: a lost line is no longer waited for.
    line_->keeper().stop();
    prepareComDialog(s_.module, s_.port);
    Form2* dialog = portDialog_;
    if (dialog == nullptr) {
        dialog = createPortDialog();
        dialog->Form_Load();
    }
    // Already open: only to the front, not reloaded.
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void Form1::Command16_Click() {
    close();
    s_.endSystem();
}

void Form1::Command74_Click() {
    frames_.at("Frame15")->hide();
    timer2_->setInterval(kCommandListTimer2);
    timer4_->setInterval(kCommandListTimer4);
    Form3* window = commandList_;
    if (window == nullptr) {
        window = new Form3(static_cast<CommandListHost&>(*this), this);
        commandList_ = window;
        window->Form_Load();
        placeBelow(window);
    }
    // One window at most: shown again, it only comes to the front.
    window->show();
    window->raise();
    window->activateWindow();
}

// Just under this window when the screen has room, else over its lower part; never off screen.
void Form1::placeBelow(QWidget* window) {
    const QRect frame = frameGeometry();
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect room = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = window->frameGeometry().size().expandedTo(window->size() + QSize(2, 32));
    int x = frame.left() + (frame.width() - size.width()) / 2;
    int y = frame.bottom() + 8;
    if (y + size.height() > room.bottom()) y = room.bottom() - size.height();
    x = std::clamp(x, room.left(), std::max(room.left(), room.right() - size.width()));
    y = std::max(y, room.top());
    window->move(x, y);
}

void Form1::setStatusFrameVisible(bool visible) { frames_.at("Frame15")->setVisible(visible); }

void Form1::showMainWindow() {
    show();
    raise();
    activateWindow();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    // The other windows belong to this one: they go with it rather than linger on their own.
    if (portDialog_) portDialog_->close();
    // Closed without its own close steps, which would show this window again.
    if (commandList_) commandList_->closeQuietly();
    event->accept();
}

// ---- Traffic ---------------------------------------------------------------------------------

void Form1::Hyouji(const std::string& text, Direction direction) { exchange_->hyouji(text, direction); }
// The line waits for a device that went away, after this.
void Form1::MSComm1_OnComm() { exchange_->onComm(); }
void Form1::Timer2_Timer() { exchange_->endOfExchange(); }
void Form1::Timer4_Timer() { exchange_->clearDisplay(); }

void Form1::sendButton_Click(const ButtonRow& row) {
    s_.module.CommandText = std::string(row.command) + kCarriageReturn;
    Hyouji(s_.module.CommandText, Direction::Send);
}

void Form1::setSentLine(const std::string& text) {
    // A text on this line means a command went out: an older "not sent" notice would now mislead.
    if (!text.empty()) hideSendNotice();
    Label11_->setText(latin1(text, kVisibleChars));
}

void Form1::setReplyLine(const std::string& text) { Label12_->setText(latin1(text, kVisibleChars)); }

void Form1::setStatusLine(const std::string& text) {
    const QString shown = latin1(text);
    // The longest phrase (three temperatures) must show whole.
    Label25_->setFont(fittedFont(statusFont_, shown, Label25_->contentsRect().width() - 4));
    Label25_->setText(shown);
}

void Form1::showSpaceLegend() { Label27_->show(); }
void Form1::showCarriageReturnLegend() { Label28_->show(); }

void Form1::hideLegends() {
    Label27_->hide();
    Label28_->hide();
}

void Form1::sendFailed() {
    // One beep per failure the operator caused, not ten a second while a held arrow keeps failing.
    if (!repeatTick_) s_.beep();
    showNotice(s_.port.isOpen()            ? "Not sent: the device did not take the command."
               : line_->keeper().waiting() ? "Not sent: the line is down; the panel reopens it as soon as it is back."
                                           : "Not sent: no port is open. Choose one with COM (Ctrl+H shows it).");
    noticeTimer_.start();
}

void Form1::showNotice(const QString& text) {
    notice_->setText(text);
    // As wide as its longest line, up to the window's width less a margin; then as high as needed.
    const QMargins frame = notice_->contentsMargins();
    const int room = width() - px(600);
    int widest = 0;
    for (const QString& line : text.split('\n'))
        widest = std::max(widest, notice_->fontMetrics().horizontalAdvance(line));
    const int w = std::min(room, widest + frame.left() + frame.right() + 2 * notice_->margin() + 20);
    notice_->resize(w, notice_->heightForWidth(w));
    // In the compact view at its foot; in the full view on the legends' row, which leaves the
    // buttons at the foot (COM among them) in sight.
    if (clientHeightTwips() >= kFullViewThreshold)
        notice_->move(Label28_->x(), Label28_->geometry().center().y() - notice_->height() / 2);
    else
        notice_->move((width() - notice_->width()) / 2, height() - notice_->height() - px(60));
    notice_->raise();
    notice_->show();
}

void Form1::hideSendNotice() {
    noticeTimer_.stop();
    // While the line is down, that stays said.
    if (line_->keeper().waiting())
        showNotice(QString::fromStdString(line_->keeper().statusText()));
    else
        notice_->hide();
}

void Form1::showLinkState() {
    // While waiting, a "Not sent" notice stays its time and the waiting text follows it; a line
    // that is back makes any notice about it stale.
    if (line_->keeper().waiting() && noticeTimer_.isActive()) return;
    hideSendNotice();
}

// ---- Press-and-hold --------------------------------------------------------------------------

void Form1::holdButton_MouseDown(const ButtonRow& row) { hold_->mouseDown(row.repeatKey); }
void Form1::holdButton_MouseUp() { hold_->mouseUp(); }
void Form1::Cont_M_down() { hold_->Cont_M_down(); }
void Form1::Cont_M_up() { hold_->Cont_M_up(); }
void Form1::Timer1_Timer() {
    repeatTick_ = true;
    hold_->Timer1_Timer();
    repeatTick_ = false;
}

void Form1::clearTranscriptLines() {
    setSentLine("");
    setReplyLine("");
}

void Form1::clearReceiveBuffer() { exchange_->clearReceiveBuffer(); }

void Form1::changeEvent(QEvent* event) {
    // A window that loses the activation (the operator switched away mid-hold, the screen locked)
    // may never see the release: end the hold here rather than repeat unattended.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && hold_ && hold_->holdActive() != 0) {
        for (HoldButton* b : findChildren<HoldButton*>()) b->setDown(false);
        holdButton_MouseUp();
    }
    QWidget::changeEvent(event);
}

// ---- Keyboard --------------------------------------------------------------------------------

void Form1::Form_KeyDown(int keyCode, int shift) {
    if ((shift & (kShift | kCtrl | kAlt)) != kCtrl || keyCode != kKeyH) return;
    setClientHeightTwips(clientHeightTwips() >= kFullViewThreshold ? kCompactClientHeight : kFullClientHeight);
    if (notice_->isVisible()) showNotice(notice_->text());  // at the foot of the new view
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        // A key travels from the focused control up to its window: act on its first delivery only.
        auto* target = static_cast<QWidget*>(watched);
        QWidget* first = focusWidget() ? focusWidget() : this;
        if (target == first && target->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers m = key->modifiers();
            const int shift = (m & Qt::ShiftModifier ? kShift : 0) | (m & Qt::ControlModifier ? kCtrl : 0) |
                              (m & Qt::AltModifier ? kAlt : 0);
            Form_KeyDown(key->key(), shift);
        }
    }
    return false;  // the key still reaches the focused control
}

}  // namespace zelt
