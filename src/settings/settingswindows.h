#pragma once
// The settings windows: the server settings (OptionForm), the account
// credentials (IdPassForm) and the launcher that opens both (SetForm).
// Each is unloaded when closed, so the next opening loads it afresh.
#include <QDialog>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace korvane::settings {

// "サーバー設定": edits ServerSettings; always above other windows. "設定"
// stores the fields and writes "pelnix.ini"; "中止", Esc and the close box
// change nothing.
class OptionForm : public QDialog {
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

    void okClicked();

private:
    QLineEdit *smtp_;
    QLineEdit *pop3_;
    QLineEdit *mail_;
    QCheckBox *apop_;
};

// "ID/PASS": the POP3 user ID and password. Loading shows what the
// credentials file holds; "OK" puts the boxes into AccountCredentials and,
// with the save box ticked, into the file.
class IdPassForm : public QDialog {
    Q_OBJECT
public:
    explicit IdPassForm(QWidget *parent = nullptr);

    void okClicked();

private:
    QLineEdit *id_;
    QLineEdit *pass_;
    QCheckBox *save_;
};

// "受信の設定": the receive options of the per-user settings store
// (receiveoptions.h). "設定" stores them and the running program takes them
// up at once; "中止", Esc and the close box change nothing.
class ReceiveOptionsForm : public QDialog {
    Q_OBJECT
public:
    explicit ReceiveOptionsForm(QWidget *parent = nullptr);

    void okClicked();

private:
    QSpinBox *interval_;
    QCheckBox *keep_;
    QSpinBox *keepDays_;
    QCheckBox *notify_;
};

// The settings launcher (also captioned "ID/PASS").
class SetForm : public QWidget {
    Q_OBJECT
public:
    explicit SetForm(QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
};

}  // namespace korvane::settings
