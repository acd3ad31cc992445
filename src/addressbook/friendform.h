#pragma once
// FriendForm, the address book window: lists the book, adds and deletes
// entries and turns an address into a name card ("name<address>").
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace korvane::addressbook {

class FriendForm : public QWidget {
    Q_OBJECT
public:
    explicit FriendForm(QWidget *parent = nullptr);

    // The hint shown over each button, by the button's objectName.
    static QString hintFor(const QString &button);

    void refreshAddressBook();
    void selectAddressRow();
    void addAddress();
    void deleteAddress();
    void insertNameCard();
    void pasteAddress();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The selected row's number (from 1), or 0 when no row is selected.
    int selectedRow() const;
    // Reads the selected row's record into the boxes; its number, or 0.
    int showSelectedRecord();
    void showHint(const QString &button);

    QTreeWidget *list_;
    QLineEdit *nameText_;
    QLineEdit *addressText_;
    QLineEdit *cardText_;
    QLineEdit *countText_;
    QLabel *status_;
    QPlainTextEdit *hint_;
};

}  // namespace korvane::addressbook
