#pragma once
// What the compose window and the reply window share: the attachment buttons,
// the text of a box as it leaves the program, and the send call run off the
// user-interface thread.
#include <QList>
#include <QPointer>
#include <QString>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace korvane::compose {

// The status text while a mail is being sent.
inline const QString SendingText = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
// The title of the box that reports a refused send.
inline const QString SendErrorTitle = QStringLiteral("送信エラー");

// The attachment controls of a window: the paths box (paths joined by ","),
// the list that shows them one per line, and the three buttons.
class AttachmentControls {
public:
    AttachmentControls(QWidget *window, QLineEdit *paths, QListWidget *list, QPushButton *first,
                       QPushButton *further, QPushButton *cancel);

    // "添付File": asks for the first file; a cancelled dialog chooses nothing.
    void addFirst();
    // "追加": shows the list and, when a first file was chosen, asks for one more.
    void addFurther();
    // "取り消し": drops every chosen file.
    void cancel();

private:
    QString askForFile();

    QWidget *window_;
    QLineEdit *paths_;
    QListWidget *list_;
    QPushButton *first_;
    QPushButton *further_;
    QPushButton *cancel_;
};


// The result of one send.
struct SendOutcome {
    bool sent = false;
    QString error;  // the transport's text when refused
};

// Sends one mail through the transport on a worker thread; the windows keep
// repainting meanwhile. Returns when the transport has answered.
SendOutcome sendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                     const QString &body, const QString &attachments);

// Disables a window's input controls while a send runs, so nothing the send
// reads can change under it, and restores them afterwards.
class InputFreeze {
public:
    explicit InputFreeze(QWidget *window);
    ~InputFreeze();
    InputFreeze(const InputFreeze &) = delete;
    InputFreeze &operator=(const InputFreeze &) = delete;

private:
    QList<QPointer<QWidget>> frozen_;
};

}  // namespace korvane::compose
