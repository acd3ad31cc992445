#pragma once
// mailto: links (RFC 6068), as the desktop hands them to the program when the
// user clicks one: "mailto:taro@example.jp,hanako@example.jp?subject=...&body=...".
//
// What a link may fill is what the compose window holds: recipients (the
// addresses before "?" and in "to" and "cc" fields), the subject and the body.
// Every other field is ignored, "bcc" and file attachments among them: a link
// from a web page never adds hidden recipients or attaches the user's files.
// Values are percent-encoded UTF-8 ("+" is a plus sign, not a blank); bytes
// that are not UTF-8 become U+FFFD. A subject or an address never holds a line
// break or another control character, so a link cannot forge header lines.
#include <QString>
#include <QStringList>

#include <optional>

namespace korvane::compose {

struct MailtoLink {
    QStringList to;
    QStringList cc;
    QString subject;
    // Line breaks as "\n".
    QString body;
};

// The longest link taken; a longer one is not a link a page would send and is
// refused whole.
inline constexpr qsizetype MaxMailtoLength = 512 * 1024;

// Whether `text` starts with the "mailto:" scheme (in any letter case).
bool isMailtoLink(const QString &text);

// The parts of a mailto: link; nothing when `link` is not a mailto: link or
// is longer than MaxMailtoLength.
std::optional<MailtoLink> parseMailto(const QString &link);

// The recipients of a link as one address line of the compose window: the
// "to" addresses, then the "cc" ones, separated by ", ".
QString recipientLine(const MailtoLink &link);

}  // namespace korvane::compose
