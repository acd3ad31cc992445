#pragma once
// The reply window `BackForm`. The history window fills its recipient,
// subject and body (by control name) and shows it; the user edits, may attach
// files and paste the clipboard above the answered mail, and sends.
#include "composesupport.h"

#include <QRect>
#include <QWidget>

#include <memory>

class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTextEdit;

namespace korvane::compose {

class AttachmentControls;
class DraftKeeper;

// Where the resize rules put the controls, in twips, for a window of
// width W and height H.
struct ReplyLayout {
    int bodyWidth = 0;
    int toWidth = 0;
    int subjectWidth = 0;
    int attachWidth = 0;
    int attachFileLeft = 0;         // "添付"
    int addAttachmentLeft = 0;      // "追加"
    int cancelAttachmentsLeft = 0;  // "取り消し"
    // The body's new height; 0 when the window is too low to change it.
    int bodyHeight = 0;
};
// `lineHeights`: the heights of the recipient, subject and attachment boxes added up.
ReplyLayout layoutReplyWindow(int width, int height, int lineHeights);

class BackForm : public QWidget {
    Q_OBJECT
public:
    // Heights of the one-line boxes, in twips.
    static constexpr int LineHeight = 300;

    explicit BackForm(QWidget *parent = nullptr);
    ~BackForm() override;

    // The body of the mail being answered, taken when the history window
    // filled this window (its property "historyKind": 1 received, 2 sent).
    QString answeredBody() const { return answeredBody_; }
    bool isSending() const { return sending_; }
    // True when the boxes hold text the user wrote that was not sent.
    Q_INVOKABLE bool holdsUnsentText() const;
    // True when the window opened with the reply left from an earlier run.
    bool reopenedDraft() const { return reopenedDraft_; }

public slots:
    void sendReply();
    void pasteIntoReplyBody();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyLayout();
    void setBodyText(const QString &text);
    // Takes the answered mail when the history window has filled the boxes.
    void takeAnsweredMail();
    // Opens the reply left unsent by an earlier run, if any.
    void reopenDraft();

    // Each control keeps its design name as objectName (in brackets).
    QLineEdit *toText_ = nullptr;                     // recipient (ToText)
    QLineEdit *subjectText_ = nullptr;                // subject (SubjectText)
    QLineEdit *attachText_ = nullptr;                 // attachment paths (AttachText)
    QTextEdit *bodyText_ = nullptr;                   // body (BodyText)
    QPushButton *attachFileButton_ = nullptr;         // "添付" (AttachCommand)
    QPushButton *addAttachmentButton_ = nullptr;      // "追加" (Command9)
    QPushButton *cancelAttachmentsButton_ = nullptr;  // "取り消し" (Command10)
    QListWidget *attachmentList_ = nullptr;           // attachments one per line (List2)
    QPushButton *sendButton_ = nullptr;               // "送信" (Command2)
    QPushButton *stopButton_ = nullptr;               // "送信中止" (Command3)
    QPushButton *pasteBodyButton_ = nullptr;          // "本文に貼付" (Command4)
    QStatusBar *statusBar_ = nullptr;                 // send status (StatusBar1)

    std::unique_ptr<AttachmentControls> attachments_;
    QString answeredBody_;
    AnsweredIds answeredIds_;
    // What the boxes held when the history window filled them.
    QStringList filled_;
    bool ownChange_ = false;
    bool sending_ = false;
    bool done_ = false;  // sent, or given up: closes without asking
    // What was typed, kept on the disk as it is typed.
    std::unique_ptr<DraftKeeper> draft_;
    bool reopenedDraft_ = false;
};

}  // namespace korvane::compose
