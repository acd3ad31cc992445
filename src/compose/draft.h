#pragma once
// The new mail being written, kept on the disk while it is written: a crash,
// a power cut, or the end of the program from its main window (which closes
// the other windows without their closing steps) leaves it behind, and the
// compose window opens it again. It goes when the mail is sent or the user
// lets it go.
#include <QByteArray>
#include <QString>

#include <optional>

namespace korvane::compose {

struct Draft {
    QString to;
    QString subject;
    QString attachments;  // the attachment box as typed
    QString body;
    bool operator==(const Draft &) const = default;
};

// The draft as kept: a first line naming the format, "key<TAB>value" lines
// (tabs, line breaks and backslashes escaped), an empty line, the body.
QByteArray serializeDraft(const Draft &draft);
// Nothing for bytes that are not a kept draft.
std::optional<Draft> parseDraft(const QByteArray &bytes);

// The kept draft, when there is one.
std::optional<Draft> loadDraft();
// Replaces the kept draft (the owner's alone); false with the reason in
// *error when it cannot be written.
bool saveDraft(const Draft &draft, QString *error);
// Removes the kept draft; false with the reason in *error when it stays.
bool removeDraft(QString *error = nullptr);

}  // namespace korvane::compose
