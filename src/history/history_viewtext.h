#pragma once
// The text a history record's mail is shown, copied and printed with.
#include "mailhistory.h"

#include <QString>
#include <QStringList>

namespace korvane::mail {

// A record body taken apart: the mail's own text, and the lines the program
// added to it when it stored the mail (the attachments it saved, with their
// names; a sender, subject or body the record could not hold whole).
struct RecordBodyParts {
    QString text;
    QStringList notes;
};
RecordBodyParts splitProgramNotes(const QString &recordBody);

// The readable text of the record's kept original (full Unicode: emoji,
// accented letters, Hangul, as the sender wrote them) when the record names
// one that can be read and holds text, followed by the program's notes that
// still hold for it (the saved attachments, a sender that did not fit); the
// record's body otherwise. The record itself is never changed.
QString readableBody(HistoryKind kind, const MailRecord &record);

}  // namespace korvane::mail
