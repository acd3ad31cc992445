#include "draft.h"

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/reasons.h"
#include "common/recordfile.h"

#include <QFile>
#include <QList>

namespace korvane::compose {
namespace {

const QByteArray Magic = QByteArrayLiteral("korvane-draft 1");
const QString DraftFile = QStringLiteral("\\★MAilData\\plxdraft.txt");

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
    return Magic + "\nto\t" + escaped(draft.to) + "\nsubject\t" + escaped(draft.subject) + "\nattachments\t" +
           escaped(draft.attachments) + "\n\n" + draft.body.toUtf8();
}

std::optional<Draft> parseDraft(const QByteArray &bytes)
{
    const qsizetype head = bytes.indexOf("\n\n");
    if (head < 0 || !bytes.startsWith(Magic + '\n'))
        return std::nullopt;
    Draft draft;
    for (const QByteArray &line : bytes.mid(Magic.size() + 1, head - Magic.size() - 1).split('\n')) {
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
    }
    draft.body = QString::fromUtf8(bytes.mid(head + 2));
    return draft;
}

std::optional<Draft> loadDraft()
{
    QFile file(paths::resolve(DraftFile));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseDraft(file.readAll());
}

bool saveDraft(const Draft &draft, QString *error)
{
    return replaceFile(paths::ensureParent(DraftFile), serializeDraft(draft), error, OwnerOnlyPermissions);
}

bool removeDraft(QString *error)
{
    const QString path = paths::resolve(DraftFile);
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.remove()) {
        if (error)
            *error = deviceReason(file);
        return false;
    }
    syncFolderOf(path);
    return true;
}

}  // namespace korvane::compose
