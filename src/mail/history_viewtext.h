#pragma once
// The text a history record's mail is shown, copied and printed with.
#include "mailhistory.h"

#include <QString>

namespace korvane::mail {

// The readable text of the record's kept original (full Unicode: emoji,
// accented letters, Hangul, as the sender wrote them) when the record names
// one that can be read and holds text; the record's body otherwise. The
// record itself is never changed.
QString readableBody(HistoryKind kind, const MailRecord &record);

}  // namespace korvane::mail
