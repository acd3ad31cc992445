#pragma once
// What the compose window and the reply window share: the attachment buttons,
// the text of a box as it leaves the program, and the send call run off the
// user-interface thread.
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "history/mailhistory.h"

class QLineEdit;
class QMimeData;
class QListWidget;
class QPushButton;
class QWidget;

namespace korvane::compose {

// The status text while a mail is being sent.
inline const QString SendingText = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
// The title of the box that reports a refused send.
inline const QString SendErrorTitle = QStringLiteral("送信エラー");
// The status text after a send whose acceptance the server never confirmed.
inline const QString UncertainText = QStringLiteral("送信できたかどうか分かりません。相手に届いたか確かめてください。");

// Asks whether text the user wrote and did not send may be thrown away with
// the window; true to discard and close, false to keep writing.
bool confirmDiscard(QWidget *window);

// The local files a drag carries (file:// links), or none.
QStringList localFiles(const QMimeData *data);
// Files dropped anywhere on `window`, its text boxes included, are handed to
// `take` instead of being typed into a box as file:// text.
void catchFileDrops(QWidget *window, std::function<void(const QStringList &)> take);

// Keeps a window's stop button usable while a send runs (an InputFreeze
// holds the rest): pressing it stops the send.
class StopDuringSend {
public:
    explicit StopDuringSend(QPushButton *stop);
    ~StopDuringSend();
    StopDuringSend(const StopDuringSend &) = delete;
    StopDuringSend &operator=(const StopDuringSend &) = delete;

private:
    QPointer<QPushButton> stop_;
};

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
    // Files dropped on the window: each is added as "追加" adds one.
    void addFiles(const QStringList &paths);

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
    // Not confirmed, but the mail went out whole: the server may have it.
    bool uncertain = false;
    QString error;       // the transport's text when not sent
    QByteArray message;  // when sent: the mail as the server accepted it
};

// The mail a reply answers, for threading: its Message-ID and References.
struct AnsweredIds {
    QByteArray messageId;
    QByteArray references;
};

// Sends one mail through the transport on a worker thread; the windows keep
// repainting meanwhile. Returns when the transport has answered.
SendOutcome sendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                     const QString &body, const QString &attachments, const AnsweredIds &answered = {});

// Keeps the bytes of a sent mail in the sent originals folder (its owner
// only), on the disk when this returns. Returns the file's name (no folder),
// or an empty string with the reason in *error.
QString keepSentOriginal(const QByteArray &message, QString *error);

// What a reply takes from the kept original of the mail it answers (full
// Unicode); nothing when the record names no original that is still there.
struct ReplySource {
    QString body;       // the mail's readable text, without the program's notes
    QString recipient;  // whom the reply goes to, display name whole
    QString subject;    // the answered mail's subject
    AnsweredIds ids;
};
std::optional<ReplySource> replySource(mail::HistoryKind kind, const mail::MailRecord &record);

// A record body without the lines the program added to it (the notes that
// start with "〓〓", the notice of saved attachments).
QString withoutProgramNotes(const QString &recordBody);

// "Re:" and two spaces before the answered subject, whatever "Re:" it
// already starts with taken off, so that replies do not stack them.
QString replySubject(const QString &answeredSubject);

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
