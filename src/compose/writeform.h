#pragma once
// The compose window `WriteForm`: recipient, subject, body and attachments of
// a new mail, with stock greetings, clipboard buttons, the address list, the
// emoticon palette, bulk sending to the whole address list and an optional
// fortune. "送信" runs sendComposedMail.
#include <QList>
#include <QListWidget>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace korvane::addressbook {
enum class Source;
}

namespace korvane::compose {

class AttachmentControls;

// The address list: reports a mouse press after the press has selected its entry.
class AddressList : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
signals:
    void pressedAfterSelection();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

class WriteForm : public QWidget {
    Q_OBJECT
public:
    // Window sizes in twips.
    static constexpr int NormalWidth = 7100;
    static constexpr int WideWidth = 9700;
    static constexpr int NormalHeight = 8200;
    static constexpr int ExtendedHeight = 8955;

    explicit WriteForm(QWidget *parent = nullptr);
    ~WriteForm() override;

    // The eight stock greetings of the greeting box.
    static const QStringList &greetings();

    // Record numbers of the address list's entries, in the file it was loaded from.
    const QList<qint16> &addressIndex() const { return addressIndex_; }
    bool isSending() const { return sending_; }

public slots:
    void addFirstAttachment();
    void addFurtherAttachment();
    void cancelAttachments();
    void widenForAddressList();
    void restoreNormalSize();
    void pickAddress();
    void clearCompose();
    void sendComposedMail();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void load();
    void loadAddressList(addressbook::Source source);
    void setListColour(bool bulk);
    void centreOnScreen();
    void setSizeTwips(int width, int height);
    void layoutBody();
    void showHint(const QString &text);
    QString sentDateText() const;

    QLineEdit *toText_ = nullptr;
    QLineEdit *subjectText_ = nullptr;
    QPlainTextEdit *bodyText_ = nullptr;
    QComboBox *combo1_ = nullptr;
    QLineEdit *attachText_ = nullptr;
    QPushButton *attachCommand_ = nullptr;
    QPushButton *command9_ = nullptr;
    QPushButton *command10_ = nullptr;
    QListWidget *list2_ = nullptr;
    AddressList *list1_ = nullptr;
    QLineEdit *text1_ = nullptr;
    QRadioButton *option2_ = nullptr;
    QRadioButton *option1_ = nullptr;
    QCheckBox *check1_ = nullptr;
    QLabel *label7_ = nullptr;
    QPushButton *command2_ = nullptr;
    QLineEdit *text4_ = nullptr;
    QCheckBox *check2_ = nullptr;
    QLineEdit *text3_ = nullptr;
    QPlainTextEdit *text14_ = nullptr;

    std::unique_ptr<AttachmentControls> attachments_;
    QList<qint16> addressIndex_;
    int widthTwips_ = NormalWidth;
    int heightTwips_ = NormalHeight;
    QString greetingOnFocus_;
    bool sending_ = false;
};

}  // namespace korvane::compose
