#include "command_list/form3.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <span>

#include "command_list/command_list_host.h"
#include "command_list/command_lists.h"
#include "command_list/command_text.h"
#include "link/timing.h"
#include "link/wire.h"
#include "platform/system/timer.h"
#include "ui/twips.h"

namespace zelt {

namespace {

constexpr double kClientWidth = 10005;
constexpr double kDesignHeight = 3780;  // room for the lists at their design places
// The outer height of 2500 twips, less 480 for title bar and borders: Qt sizes the client area.
constexpr double kLoadedHeight = 2500 - 480;
constexpr double kListTop = 1560;

// Each list shows an item's display form and keeps the item itself, which every rule reads.
QComboBox* fillList(QComboBox* list, std::span<const std::string_view> items) {
    for (std::string_view item : items) {
        list->addItem(QString::fromStdString(displayTextFor(item)),
                      QString::fromLatin1(item.data(), static_cast<qsizetype>(item.size())));
    }
    return list;
}

// The lists are narrower than their longest items; the popup shows them whole.
void widenPopup(QComboBox* list) {
    QAbstractItemView* view = list->view();
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int i = 0; i < list->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(list->itemText(i)));
    const int chrome = 2 * view->frameWidth() + view->verticalScrollBar()->sizeHint().width() +
                       4 * list->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 16;
    view->setMinimumWidth(std::max(widest + chrome, list->width()));
}

QLabel* legend(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    label->setPalette(palette);
    return label;
}

std::string itemAt(const QComboBox* list, int index) {
    return list->itemData(index, Qt::UserRole).toString().toLatin1().toStdString();
}

}  // namespace

Form3::Form3(CommandListHost& host, QWidget* parent) : QWidget(parent, Qt::Window), host_(host) {
    setObjectName("Form3");
    setWindowTitle("Command List");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(kClientWidth), px(kDesignHeight));

    Command3_ = place(new QPushButton("Basic Command List", this), "Command3", 120, 120, 2415, 375);
    Command4_ = place(new QPushButton("Expand Command List", this), "Command4", 2760, 120, 2655, 375);
    Command5_ = place(new QPushButton("Expand Read Command List", this), "Command5", 5760, 120, 3015, 375);
    Command1_ = place(new QPushButton("SEND", this), "Command1", 9000, 680, 855, 375);
    Command2_ = place(new QPushButton("CLOSE", this), "Command2", 9000, 1320, 855, 375);
    Text1_ = place(new QLineEdit(this), "Text1", 120, 720, 8655, 300);
    Text1_->setTextMargins(0, 0, 0, 0);
    // The line carries one byte per character: a character beyond Latin-1 cannot be sent as typed.
    Text1_->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x{0}-\\x{ff}]*"), Text1_));
    Label2_ = legend(place(new QLabel("[CR] :Carriage Return Code (0x0D)", this), "Label2", 240, 1200, 3975, 300));
    Label1_ = legend(place(new QLabel("% :Parameter (0-9).", this), "Label1", 4560, 1200, 2895, 300));
    Combo1_ = fillList(place(new QComboBox(this), "Combo1", 120, 2400, 5055, 300), basicCommandList());
    Combo2_ = fillList(place(new QComboBox(this), "Combo2", 120, 2880, 8655, 300), expandedCommandList());
    Combo3_ = fillList(place(new QComboBox(this), "Combo3", 120, 3360, 8655, 300), readCommandList());
    for (QComboBox* list : {Combo1_, Combo2_, Combo3_}) widenPopup(list);

    // Only a choice counts: activated() comes from the operator, never from a change made in code.
    connect(Combo1_, &QComboBox::activated, this, [this] { Combo1_Click(); });
    connect(Combo2_, &QComboBox::activated, this, [this] { Combo2_Click(); });
    connect(Combo3_, &QComboBox::activated, this, [this] { Combo3_Click(); });
    connect(Text1_, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4_, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5_, &QPushButton::clicked, this, [this] { Command5_Click(); });

    // The basic list first, so it has the focus when the window opens.
    QWidget* const order[] = {Combo1_, Command1_, Command2_, Command3_, Text1_, Command4_, Command5_, Combo2_, Combo3_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    Combo1_->setFocus();
}

void Form3::Form_Load() {
    setFixedHeight(px(kLoadedHeight));
    Combo1_->show();
    Combo2_->hide();
    Combo3_->hide();
    Label1_->hide();
    Label2_->hide();
    select(Combo1_, 0, &Form3::Combo1_Click);
    takeItem(itemAt(Combo1_, 0));
    for (QComboBox* list : {Combo1_, Combo2_, Combo3_}) list->move(list->x(), px(kListTop));
}

void Form3::select(QComboBox* list, int index, void (Form3::*handler)()) {
    list->setCurrentIndex(index);
    (this->*handler)();
}

void Form3::Combo1_Click() { itemChosen(Combo1_, false); }
void Form3::Combo2_Click() { itemChosen(Combo2_, true); }
void Form3::Combo3_Click() { itemChosen(Combo3_, false); }

void Form3::itemChosen(QComboBox* list, bool markTest) {
    const std::string item = itemAt(list, list->currentIndex());
    Label2_->show();
    if (markTest) {
        // The whole item counts: a "%" in the description asks for digits as well.
        if (holdsParameterMark(item)) {
            Label1_->show();
            Text1_->setFocus();
        } else {
            Label1_->hide();
        }
    }
    takeItem(item);
}

void Form3::takeItem(const std::string& item) {
    SendText_ = sendTextFor(item);
    // Runs Text1_Change when the text differs, which arrives at the same SendText.
    Text1_->setText(QString::fromStdString(editorTextFor(item)));
}

void Form3::Text1_Change() {
    // The projector reads single bytes: the text goes out as Latin-1.
    SendText_ = sendTextFor(Text1_->text().toLatin1().toStdString());
}

void Form3::showList(QComboBox* list, void (Form3::*handler)()) {
    for (QComboBox* other : {Combo1_, Combo2_, Combo3_}) {
        if (other != list) other->hide();
    }
    list->show();
    select(list, 0, handler);
    takeItem(itemAt(list, 0));
}

void Form3::Command3_Click() { showList(Combo1_, &Form3::Combo1_Click); }
void Form3::Command4_Click() { showList(Combo2_, &Form3::Combo2_Click); }
void Form3::Command5_Click() { showList(Combo3_, &Form3::Combo3_Click); }

void Form3::Command1_Click() {
    // Stopped and started again, each timer counts a full interval from this send.
    host_.Timer2().setEnabled(false);
    host_.Timer4().setEnabled(false);
    host_.Hyouji(SendText_, Direction::Send);
    Label1_->hide();
    Label2_->hide();
    host_.Timer2().setEnabled(true);
    host_.Timer4().setEnabled(true);
}

void Form3::Command2_Click() {
    mainRestored_ = true;  // done below, after the window has gone, not by closeEvent
    close();
    restoreMainWindow();
}

void Form3::closeQuietly() {
    quiet_ = true;
    close();
}

void Form3::closeEvent(QCloseEvent* event) {
    event->accept();
    if (quiet_ || mainRestored_) return;
    mainRestored_ = true;
    restoreMainWindow();
}

void Form3::restoreMainWindow() {
    host_.showMainWindow();
    host_.setStatusFrameVisible(true);
    host_.Timer2().setInterval(kStartupTimer2);
    host_.Timer4().setInterval(kStartupTimer4);
}

}  // namespace zelt
