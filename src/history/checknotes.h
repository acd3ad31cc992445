#pragma once
// Lines the mail check writes into a received mail's text, which the history
// reads back to tell the mail's own text from the program's notes. They live
// here, below the check, so that the history needs nothing of it.
#include <QString>

namespace korvane::mail::checktext {
inline const QString AttachmentNotice =
    QStringLiteral("♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");
}  // namespace korvane::mail::checktext
