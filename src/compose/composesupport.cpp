#include "composesupport.h"

#include "common/addressfield.h"
#include "common/atomicfile.h"
#include "common/background.h"
#include "common/dialogs.h"
#include "common/digest.h"
#include "common/paths.h"
#include "common/text.h"
#include "history/history_viewtext.h"
#include "transport/nmail.h"
#include "transport/transport_smtp.h"
#include "mime/mime.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

namespace korvane::compose {

AttachmentControls::AttachmentControls(QWidget *window, QLineEdit *paths, QListWidget *list, QPushButton *first,
                                       QPushButton *further, QPushButton *cancel)
    : window_(window), paths_(paths), list_(list), first_(first), further_(further), cancel_(cancel)
{
}

QString AttachmentControls::askForFile()
{
    return dialogs().openFile(window_, QStringLiteral("添付File"), QString(), QStringLiteral("すべてのファイル (*)"));
}

void AttachmentControls::addFirst()
{
    further_->setEnabled(true);
    const QString path = askForFile();
    if (!path.isEmpty()) {
        paths_->setText(path);
        list_->addItem(path);
    }
    first_->setEnabled(false);
}

void AttachmentControls::addFurther()
{
    list_->show();
    if (paths_->text().isEmpty())
        return;
    const QString path = askForFile();
    if (!path.isEmpty()) {
        paths_->setText(paths_->text() + u',' + path);
        list_->addItem(path);
    }
}

void AttachmentControls::cancel()
{
    paths_->clear();
    list_->clear();
    list_->hide();
    further_->setEnabled(false);
    cancel_->setEnabled(false);
    first_->setEnabled(true);
}

void AttachmentControls::addFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        paths_->setText(paths_->text().isEmpty() ? path : paths_->text() + u',' + path);
        list_->addItem(path);
    }
    if (list_->count() > 1)
        list_->show();
    first_->setEnabled(false);
    further_->setEnabled(true);
    cancel_->setEnabled(true);
}

bool confirmDiscard(QWidget *window)
{
    return dialogs().question(window,
                              QStringLiteral("送信していない文章があります。\n破棄してウィンドウを閉じますか？\n"
                                             "（「いいえ」を選ぶと、そのまま書き続けられます）"),
                              QuestionTitle, Dialogs::Icon::Exclamation, /*defaultYes=*/false);
}

QStringList localFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files << QDir::toNativeSeparators(url.toLocalFile());
    }
    return files;
}

namespace {

class FileDropCatcher : public QObject {
public:
    FileDropCatcher(QObject *parent, std::function<void(const QStringList &)> take)
        : QObject(parent), take_(std::move(take))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (localFiles(drag->mimeData()).isEmpty())
                break;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QStringList files = localFiles(drop->mimeData());
            if (files.isEmpty())
                break;
            drop->acceptProposedAction();
            take_(files);
            return true;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QStringList &)> take_;
};

}  // namespace

void catchFileDrops(QWidget *window, std::function<void(const QStringList &)> take)
{
    auto *catcher = new FileDropCatcher(window, std::move(take));
    window->setAcceptDrops(true);
    window->installEventFilter(catcher);
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (auto *area = qobject_cast<QAbstractScrollArea *>(w))
            area->viewport()->installEventFilter(catcher);
        else if (w->acceptDrops())
            w->installEventFilter(catcher);
    }
}

StopDuringSend::StopDuringSend(QPushButton *stop) : stop_(stop)
{
    stop_->setEnabled(true);
}

StopDuringSend::~StopDuringSend()
{
    if (stop_)
        stop_->setEnabled(false);
}

SendOutcome sendMail(const QString &server, const QString &to, const QString &from, const QString &subject,
                     const QString &body, const QString &attachments, const AnsweredIds &answered)
{
    nmail::transport::clearStopSending();
    return runOffUiThread([=] {
        SendOutcome outcome;
        nmail::SmtpSendExtras extras;
        extras.answeredMessageId = answered.messageId;
        extras.answeredReferences = answered.references;
        extras.sentMessage = &outcome.message;
        const int rc = nmail::NMailSmtpSendMail(server, to, from, subject, body, attachments, extras);
        outcome.sent = rc >= 0;
        outcome.uncertain = rc == nmail::SmtpSendUncertain;
        // The transport keeps the reason per thread: ask on the same thread.
        if (!outcome.sent)
            outcome.error = nmail::NMailGetMessage();
        return outcome;
    });
}

QString keepSentOriginal(const QByteArray &message, QString *error)
{
    const QString folder = paths::ensureFolder(QString::fromUtf16(paths::SentOriginalsFolder));
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const mime::ReceivedTexts head = mime::headerTexts(message);
    const QString name = mail::originalFileName(sha256(message), head.date);
    const QString target = QDir(folder).filePath(name);
    // The same name holds the same bytes: a mail kept already stays as it is.
    if (QFileInfo(target).size() == message.size())
        return name;
    QString reason;
    if (!replaceFile(target, message, &reason, OwnerOnlyPermissions)) {
        if (error)
            *error = QStringLiteral("送信したメールの原本を %1 に保存できません: %2")
                         .arg(QDir::toNativeSeparators(target), reason);
        return QString();
    }
    return name;
}

QString withoutProgramNotes(const QString &recordBody)
{
    return mail::splitProgramNotes(recordBody).text;
}

std::optional<ReplySource> replySource(mail::HistoryKind kind, const mail::MailRecord &record)
{
    const QString path = mail::originalPath(kind, record);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ReplySource source;
    source.recipient = replyAddress(record.address);
    const QByteArray raw = file.readAll();
    // The readable text as the viewer shows it; nothing is saved.
    const mime::ReceivedTexts texts = mime::readableTexts(raw);
    const mime::MessageSplit split = mime::splitMessage(raw);
    const QList<mime::HeaderField> fields = mime::parseHeaderBlock(raw.constData(), split.headerEnd);
    source.body = trimAsciiSpaces(toCrLf(texts.body));
    source.subject = trimAsciiSpaces(texts.subject);
    // A received mail is answered to its sender, a sent one to its recipients.
    const QString who = kind == mail::HistoryKind::Received ? texts.from
                                                            : mime::decodeHeaderText(mime::headerValue(fields, "To"));
    if (!trimAsciiSpaces(who).isEmpty())
        source.recipient = replyAddress(trimAsciiSpaces(who));
    source.ids.messageId = mime::headerValue(fields, "Message-ID");
    source.ids.references = mime::headerValue(fields, "References");
    return source;
}

QString replySubject(const QString &answeredSubject)
{
    // "Re:", "RE:", "Re[2]:", "Re^2:" and the full-width "Ｒｅ：", any number of them.
    static const QRegularExpression prefix(QStringLiteral("^\\s*(?:[RrＲｒ][EeＥｅ](?:\\[\\d+\\]|\\^\\d+)?\\s*[:：]\\s*)+"));
    QString rest = trimAsciiSpaces(answeredSubject);
    const QRegularExpressionMatch m = prefix.match(rest);
    if (m.hasMatch() && m.capturedLength() < rest.size())
        rest = rest.mid(m.capturedLength());
    else if (m.hasMatch())
        rest = QStringLiteral("Re:");  // nothing but "Re:": one is kept as the subject
    return QStringLiteral("Re:  ") + rest;
}

InputFreeze::InputFreeze(QWidget *window)
{
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        const bool input = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) ||
                           qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QTextEdit *>(w) ||
                           qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractItemView *>(w);
        if (input && w->isEnabled() && !qobject_cast<QLineEdit *>(w->parentWidget()) &&
            !qobject_cast<QComboBox *>(w->parentWidget())) {
            w->setEnabled(false);
            frozen_.append(w);
        }
    }
}

InputFreeze::~InputFreeze()
{
    for (const QPointer<QWidget> &w : frozen_)
        if (w)
            w->setEnabled(true);
}

}  // namespace korvane::compose
