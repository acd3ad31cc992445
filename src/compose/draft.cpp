#include "draft.h"

#include "common/atomicfile.h"
#include "common/dialogs.h"
#include "common/paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>

namespace korvane::compose {
namespace {

const QByteArray Magic = QByteArrayLiteral("korvane-draft 1");
// How long after the last change what was typed is kept on the disk.
constexpr int DelayMs = 1000;

QString draftFile(DraftKind kind)
{
    return kind == DraftKind::Reply ? QStringLiteral("\\★MAilData\\plxreply.txt")
                                    : QStringLiteral("\\★MAilData\\plxdraft.txt");
}

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

QString unescaped(QByteArrayView text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            switch (text[++i]) {
            case 't': c = '\t'; break;
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            default: c = text[i];
            }
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

}  // namespace

QByteArray serializeDraft(const Draft &draft)
{
    QByteArray out = Magic + "\nto\t" + escaped(draft.to) + "\nsubject\t" + escaped(draft.subject) +
                     "\nattachments\t" + escaped(draft.attachments);
    if (!draft.messageId.isEmpty())
        out += "\nmessage-id\t" + escaped(QString::fromLatin1(draft.messageId));
    if (!draft.references.isEmpty())
        out += "\nreferences\t" + escaped(QString::fromLatin1(draft.references));
    if (!draft.answeredBody.isEmpty())
        out += "\nanswered\t" + escaped(draft.answeredBody);
    return out + "\n\n" + draft.body.toUtf8();
}

std::optional<Draft> parseDraft(const QByteArray &bytes)
{
    const qsizetype start = Magic.size() + 1, head = bytes.indexOf("\n\n");
    if (head < start || !bytes.startsWith(Magic + '\n'))
        return std::nullopt;
    Draft draft;
    for (const QByteArray &line : bytes.mid(start, head - start).split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0)
            return std::nullopt;
        const QByteArrayView key = QByteArrayView(line).first(tab), value = QByteArrayView(line).sliced(tab + 1);
        if (key == "to")
            draft.to = unescaped(value);
        else if (key == "subject")
            draft.subject = unescaped(value);
        else if (key == "attachments")
            draft.attachments = unescaped(value);
        else if (key == "message-id")
            draft.messageId = unescaped(value).toLatin1();
        else if (key == "references")
            draft.references = unescaped(value).toLatin1();
        else if (key == "answered")
            draft.answeredBody = unescaped(value);
    }
    draft.body = QString::fromUtf8(bytes.mid(head + 2));
    return draft;
}

std::optional<Draft> loadDraft(DraftKind kind)
{
    QFile file(paths::resolve(draftFile(kind)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseDraft(file.readAll());
}

bool saveDraft(const Draft &draft, QString *error, DraftKind kind)
{
    return replaceFile(paths::ensureParent(draftFile(kind)), serializeDraft(draft), error, OwnerOnlyPermissions);
}

bool removeDraft(QString *error, DraftKind kind)
{
    return removeFile(paths::resolve(draftFile(kind)), error);
}

DraftKeeper::DraftKeeper(DraftKind kind, std::function<std::optional<Draft>()> current,
                         std::function<void(const QString &)> tell)
    : kind_(kind), current_(std::move(current)), tell_(std::move(tell))
{
    delay_.setSingleShot(true);
    delay_.setInterval(DelayMs);
    connect(&delay_, &QTimer::timeout, this, &DraftKeeper::keep);
    // The program may end before the delay is over.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &DraftKeeper::keepPending);
}

DraftKeeper::~DraftKeeper()
{
    keepPending();
}

void DraftKeeper::changed()
{
    delay_.start();
}

void DraftKeeper::keepPending()
{
    if (delay_.isActive())
        keep();
}

void DraftKeeper::letGo()
{
    delay_.stop();
    QString error;
    // The window is going: only a message box can still say it.
    if (!removeDraft(&error, kind_))
        dialogs().notice(nullptr, QStringLiteral("作成中のメールの控えを削除できません。\n%1").arg(error), ProgramTitle,
                         Dialogs::Icon::Exclamation);
}

void DraftKeeper::keep()
{
    delay_.stop();
    QString error;
    const std::optional<Draft> draft = current_();
    const bool kept = draft ? saveDraft(*draft, &error, kind_) : removeDraft(&error, kind_);
    // Told once, not at every key.
    if (!kept && !failed_)
        tell_(QStringLiteral("作成中のメールをディスクに保存できません: %1").arg(error));
    failed_ = !kept;
}

}  // namespace korvane::compose
