#pragma once
// The mail being written (a new mail, a reply), kept on the disk while it is
// written: a crash, a power cut, or the end of the program from its main
// window (which closes the other windows without their closing steps) leaves
// it behind, and its window opens it again. It goes when the mail is sent or
// the user lets it go.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace korvane::compose {

struct Draft {
    QString to;
    QString subject;
    QString attachments;  // the attachment box as typed
    QString body;
    // A reply: the answered mail's ids and text.
    QByteArray messageId = {};
    QByteArray references = {};
    QString answeredBody = {};
    bool operator==(const Draft &) const = default;
};

// A new mail and a reply are kept apart, each in a file of its own.
enum class DraftKind { NewMail, Reply };

// The draft as kept: a first line naming the format, "key<TAB>value" lines
// (tabs, line breaks and backslashes escaped), an empty line, the body.
QByteArray serializeDraft(const Draft &draft);
// Nothing for bytes that are not a kept draft.
std::optional<Draft> parseDraft(const QByteArray &bytes);

// The kept draft, when there is one.
std::optional<Draft> loadDraft(DraftKind kind = DraftKind::NewMail);
// Replaces the kept draft (the owner's alone); false with the reason in
// *error when it cannot be written.
bool saveDraft(const Draft &draft, QString *error, DraftKind kind = DraftKind::NewMail);
// Removes the kept draft; false with the reason in *error when it stays.
bool removeDraft(QString *error = nullptr, DraftKind kind = DraftKind::NewMail);

// Keeps what a window holds a moment after each change, and once more when
// the program ends, or the keeper goes, with a change pending. `current`
// gives what to keep, or nothing when the window holds nothing worth keeping
// (the kept draft then goes); `tell` shows the reason once when it cannot be
// kept. A draft that cannot be removed when let go is told in a message box. A window holds its keeper as a member, so that the boxes `current`
// reads outlive it.
class DraftKeeper : public QObject {
    Q_OBJECT
public:
    DraftKeeper(DraftKind kind, std::function<std::optional<Draft>()> current,
                std::function<void(const QString &)> tell);
    ~DraftKeeper() override;

    // Something was changed: kept after the delay.
    void changed();
    // Kept now, when a change is pending.
    void keepPending();
    // The mail was sent or let go: nothing is kept.
    void letGo();

private:
    void keep();

    DraftKind kind_;
    std::function<std::optional<Draft>()> current_;
    std::function<void(const QString &)> tell_;
    QTimer delay_;
    bool failed_ = false;
};

}  // namespace korvane::compose
