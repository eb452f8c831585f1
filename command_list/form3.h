#pragma once

#include <QWidget>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelt {

class CommandListHost;

// The command list window "Command List": the operator picks a command from one of three lists,
// edits it in Text1 (chiefly typing digits over its "%" marks) and sends it through the main
// window. Whoever opens it runs Form_Load once, before showing it; the window deletes itself
// when closed.
class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(CommandListHost& host, QWidget* parent = nullptr);

    void Form_Load();
    void Combo1_Click();  // an item chosen in the basic list
    void Combo2_Click();  // an item chosen in the expanded list
    void Combo3_Click();  // an item chosen in the read list
    void Text1_Change();
    void Command1_Click();  // "SEND"
    void Command2_Click();  // "CLOSE"
    void Command3_Click();  // "Basic Command List"
    void Command4_Click();  // "Expand Command List"
    void Command5_Click();  // "Expand Read Command List"

    // For the main window while it closes: closes and destroys this window without giving the
    // main window back its status strip and timings, which would show it again.
    void closeQuietly();

    // The command part of the last choice or editor text, with one carriage return.
    const std::string& SendText() const { return SendText_; }

protected:
    // The title-bar close gives the main window back as "CLOSE" does.
    void closeEvent(QCloseEvent* event) override;

private:
    // Selecting an item in code counts as the operator's choice: the list's click handler runs.
    void select(QComboBox* list, int index, void (Form3::*handler)());
    void itemChosen(QComboBox* list, bool markTest);
    void takeItem(const std::string& item);
    void showList(QComboBox* list, void (Form3::*handler)());
    void restoreMainWindow();

    CommandListHost& host_;
    std::string SendText_;
    bool quiet_ = false;         // closeQuietly: leave the main window alone
    bool mainRestored_ = false;  // the close steps ran already

    QPushButton* Command1_;
    QPushButton* Command2_;
    QPushButton* Command3_;
    QPushButton* Command4_;
    QPushButton* Command5_;
    QLineEdit* Text1_;
    QLabel* Label1_;
    QLabel* Label2_;
    QComboBox* Combo1_;
    QComboBox* Combo2_;
    QComboBox* Combo3_;
};

}  // namespace zelt
