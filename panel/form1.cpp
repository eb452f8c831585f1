#include "panel/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QScreen>

#include "app/module1.h"
#include "link/startup.h"
#include "platform/qt_timer.h"
#include "platform/serial_port.h"
#include "platform/twips.h"
#include "port_dialog/form2.h"

namespace zelt {

namespace {
constexpr int kClientWidth = 10185;
constexpr int kInitialTimer1 = 200;
constexpr int kInitialTimer2 = 5000;
constexpr int kInitialTimer4 = 5500;
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
        w_.RepeatKey_ = 0;
        w_.AwaitingReply_ = 0;
        w_.ReceiveBuffer_.clear();
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
    setPalette(pal);
    setFixedWidth(px(kClientWidth));
    setClientHeightTwips(kCompactClientHeight);

    if (!s_.makeTimer) {
        s_.makeTimer = [this](int ms) -> std::unique_ptr<zelt::Timer> { return std::make_unique<QtTimer>(ms, this); };
    }
    if (!s_.endSystem) s_.endSystem = [] { QApplication::quit(); };
    timer1_ = s_.makeTimer(kInitialTimer1);
    timer2_ = s_.makeTimer(kInitialTimer2);
    timer4_ = s_.makeTimer(kInitialTimer4);

    auto* com = new QPushButton("COM", this);
    com->setObjectName("Command33");
    com->setGeometry(pxRect(6480, 7080, 1850, 375));
    connect(com, &QPushButton::clicked, this, [this] { Command33_Click(); });

    auto* end = new QPushButton("END", this);
    end->setObjectName("Command16");
    end->setGeometry(pxRect(8520, 4680, 1500, 375));
    QFont endFont = end->font();
    endFont.setBold(true);
    endFont.setPointSize(12);
    end->setFont(endFont);
    connect(end, &QPushButton::clicked, this, [this] { Command16_Click(); });
}

Form1::~Form1() {
    // The timers' owners outlive their callbacks only while this window lives.
    for (auto* t : {timer1_.get(), timer2_.get(), timer4_.get()}) {
        if (t) t->onTick = nullptr;
    }
    s_.port.onComm = nullptr;
}

int Form1::clientHeightTwips() const { return static_cast<int>(twips(height())); }

void Form1::setClientHeightTwips(int twipsHigh) { setFixedHeight(px(twipsHigh)); }

void Form1::Form_Load() {
    StartupAdapter adapter(*this);
    runStartup(s_.module, s_.port, s_.store, adapter);
}

void Form1::Form_QueryUnload() {
    if (s_.port.isOpen()) s_.port.close();
}

Form2* Form1::createPortDialog() {
    Form2::Services ds{s_.module, s_.port, s_.store, s_.deviceFor,
                       [this] {
                           show();
                           raise();
                           activateWindow();
                       },
                       s_.retryMessage};
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
    prepareComDialog(s_.module, s_.port);
    if (portDialog_) {
        // Already open: to the front, not reloaded.
        portDialog_->show();
        portDialog_->raise();
        portDialog_->activateWindow();
        return;
    }
    Form2* dialog = createPortDialog();
    dialog->Form_Load();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void Form1::Command16_Click() {
    close();
    s_.endSystem();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    // The other windows belong to this one: they go with it rather than linger on their own.
    if (portDialog_) portDialog_->close();
    event->accept();
}

}  // namespace zelt
