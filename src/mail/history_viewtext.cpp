#include "history_viewtext.h"

#include "mime/mime_message.h"

namespace korvane::mail {

QString readableBody(HistoryKind kind, const MailRecord &record)
{
    const QString path = originalPath(kind, record);
    if (path.isEmpty())
        return record.body;
    const std::optional<QString> text = mime::readableTextOfFile(path);
    // A mail of attachments only says more in its record (the saved files).
    if (!text || text->trimmed().isEmpty())
        return record.body;
    return *text;
}

}  // namespace korvane::mail
