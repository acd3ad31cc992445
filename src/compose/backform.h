#pragma once
// The reply window `BackForm`. The history window fills its recipient,
// subject and body (by control name) and shows it; the user edits, may attach
// files and paste the clipboard above the answered mail, and sends.
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

// Where the resize rules put the controls, in twips, for a window of
// width W and height H.
struct ReplyLayout {
    int bodyWidth = 0;
    int toWidth = 0;
    int subjectWidth = 0;
    int attachWidth = 0;
    int attachCommandLeft = 0;
    int command9Left = 0;
    int command10Left = 0;
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

public slots:
    void sendReply();
    void pasteIntoReplyBody();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applyLayout();
    void setBodyText(const QString &text);

    QLineEdit *toText_ = nullptr;
    QLineEdit *subjectText_ = nullptr;
    QLineEdit *attachText_ = nullptr;
    QTextEdit *bodyText_ = nullptr;
    QPushButton *attachCommand_ = nullptr;
    QPushButton *command9_ = nullptr;
    QPushButton *command10_ = nullptr;
    QListWidget *list2_ = nullptr;
    QPushButton *command2_ = nullptr;
    QPushButton *command3_ = nullptr;
    QPushButton *command4_ = nullptr;
    QStatusBar *statusBar1_ = nullptr;

    std::unique_ptr<AttachmentControls> attachments_;
    QString answeredBody_;
    bool ownChange_ = false;
    bool sending_ = false;
};

}  // namespace korvane::compose
