#include "history_viewtext.h"

#include "history/checknotes.h"

#include "common/text.h"
#include "mime/mime_message.h"

namespace korvane::mail {

RecordBodyParts splitProgramNotes(const QString &recordBody)
{
    RecordBodyParts parts;
    QStringList kept;
    bool namesFollow = false;
    for (const QString &line : toCrLf(recordBody).split(QStringLiteral("\r\n"))) {
        if (namesFollow && line.startsWith(u'（')) {
            namesFollow = false;
            parts.notes << line;  // the names of the saved attachments
            continue;
        }
        namesFollow = line == checktext::AttachmentNotice;
        if (namesFollow || line.startsWith(QStringLiteral("〓〓 ")))
            parts.notes << line;
        else
            kept << line;
    }
    parts.text = trimAsciiSpaces(kept.join(QStringLiteral("\r\n")));
    return parts;
}

QString readableBody(HistoryKind kind, const MailRecord &record)
{
    const QString path = originalPath(kind, record);
    if (path.isEmpty())
        return record.body;
    const std::optional<QString> text = mime::readableTextOfFile(path);
    // A mail of attachments only says more in its record (the saved files).
    if (!text || text->trimmed().isEmpty())
        return record.body;
    // The note that the record holds only part of the body does not hold
    // for the whole text shown here; the others do.
    QStringList notes = splitProgramNotes(record.body).notes;
    notes.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("〓〓 この本文は履歴に全部は入りませんでした")); });
    if (notes.isEmpty())
        return *text;
    QString shown = toCrLf(*text);
    while (shown.endsWith(QStringLiteral("\r\n")))
        shown.chop(2);
    return shown + QStringLiteral("\r\n\r\n") + notes.join(QStringLiteral("\r\n"));
}

}  // namespace korvane::mail
