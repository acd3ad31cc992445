#pragma once
// The compose window `WriteForm`: recipient, subject, body and attachments of
// a new mail, with stock greetings, clipboard buttons, the address list, the
// emoticon palette, bulk sending to every address of the address book and an
// optional fortune (single mails only). "送信" runs sendComposedMail.
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
class DraftKeeper;

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
    // Bytes of the sent history's address field.
    static constexpr qsizetype SentAddressWidth = 90;

    explicit WriteForm(QWidget *parent = nullptr);
    ~WriteForm() override;

    // The eight stock greetings of the greeting box.
    static const QStringList &greetings();

    // Record numbers of the address list's entries, in the file it was loaded from.
    const QList<qint16> &addressIndex() const { return addressIndex_; }
    bool isSending() const { return sending_; }
    // True when the window opened with the mail left from an earlier run.
    bool reopenedDraft() const { return reopenedDraft_; }

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
    void insertGreeting(const QString &greeting);
    // The addresses a bulk send goes to, from the address book.
    static QStringList bulkRecipients();
    // Adds a mail the server accepted to the sent history, or says why it could not.
    // `message`: the mail as the server accepted it, kept whole beside the record.
    void recordSentMail(const QString &recipient, const QString &subject, const QString &body,
                        const QByteArray &message);
    // True when the boxes hold text the user wrote that was not sent.
    bool holdsUnsentText() const;
    // Opens the mail left unsent by an earlier run, if any.
    void reopenDraft();
    QString sentDateText() const;

    // Each control keeps its design name as objectName (in brackets).
    QLineEdit *toText_ = nullptr;                        // recipient (ToText)
    QLineEdit *subjectText_ = nullptr;                   // subject (SubjectText)
    QPlainTextEdit *bodyText_ = nullptr;                 // body (BodyText)
    QComboBox *greetingBox_ = nullptr;                   // stock greetings (Combo1)
    QLineEdit *attachText_ = nullptr;                    // attachment paths (AttachText)
    QPushButton *attachFileButton_ = nullptr;            // "添付File" (AttachCommand)
    QPushButton *addAttachmentButton_ = nullptr;         // "追加" (Command9)
    QPushButton *cancelAttachmentsButton_ = nullptr;     // "取り消し" (Command10)
    QListWidget *attachmentList_ = nullptr;              // attachments one per line (List2)
    AddressList *addressList_ = nullptr;                 // address names; the bulk list (List1)
    QLineEdit *addressCountBox_ = nullptr;               // "件数" (Text1)
    QRadioButton *bulkSendOption_ = nullptr;             // "一括送信" (Option2)
    QRadioButton *cancelBulkOption_ = nullptr;           // "取消" (Option1)
    QCheckBox *fortuneCheck_ = nullptr;                  // "占い添付" (Check1)
    QLabel *statusLabel_ = nullptr;                      // send status (Label7)
    QPushButton *hiddenPasteButton_ = nullptr;           // hidden row: "貼付け" (Command2)
    QLineEdit *hiddenPasteBox_ = nullptr;                // hidden row: pasted text (Text4)
    QCheckBox *hiddenCheck_ = nullptr;                   // hidden row (Check2)
    QLineEdit *hiddenNumberBox_ = nullptr;               // hidden row (Text3)
    QPlainTextEdit *hintBox_ = nullptr;                  // button hints (Text14)
    QPushButton *stopButton_ = nullptr;                  // "送信中止" (Command3)

    std::unique_ptr<AttachmentControls> attachments_;
    QList<qint16> addressIndex_;
    int widthTwips_ = NormalWidth;
    int heightTwips_ = NormalHeight;
    QString greetingOnFocus_;
    bool sending_ = false;
    // What was typed, kept on the disk as it is typed.
    std::unique_ptr<DraftKeeper> draft_;
    bool reopenedDraft_ = false;
};

}  // namespace korvane::compose
