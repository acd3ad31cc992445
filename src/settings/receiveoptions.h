#pragma once
// The receive options of the daily client, kept in the per-user settings
// store beside the progress counter (organization and application
// "Korvane"), group "Receive". The key names are fixed: users and other parts
// of the program set and read them by hand.
#include <QObject>
#include <QString>

namespace korvane::settings {

struct ReceiveOptions {
    int intervalMinutes = 0;    // "IntervalMinutes": automatic check every n minutes; 0 = off
    bool keepOnServer = false;  // "KeepOnServer": received mail stays on the server
    int keepDays = 0;           // "KeepDays": kept mail goes after n days; 0 = for ever
    bool notify = true;         // "Notify": a desktop notification after mail came in

    bool operator==(const ReceiveOptions &) const = default;
};

inline constexpr const char *ReceiveGroup = "Receive";
inline constexpr int MaxIntervalMinutes = 24 * 60;
inline constexpr int MaxKeepDays = 3650;

// Reads the options; a missing or unreadable value takes its default, and
// numbers are brought into range (negative ones count as 0).
ReceiveOptions loadReceiveOptions();
// Writes every option; false, with the reason in *error, when the store
// cannot be written.
bool saveReceiveOptions(const ReceiveOptions &options, QString *error = nullptr);

// Tells the running program that the options were saved from its window.
class ReceiveOptionsEvents : public QObject {
    Q_OBJECT
public:
    static ReceiveOptionsEvents &instance();
signals:
    void changed();
};

}  // namespace korvane::settings
