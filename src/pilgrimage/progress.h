#pragma once
// The pilgrimage progress: one count per received mail, kept across runs in
// the per-user settings store (application "Korvane", key "Pro/Value") as a
// decimal string.
#include <QString>

#include <optional>

namespace korvane::pilgrimage {

// The highest counter the store holds; higher values are kept at this one.
constexpr int MaxProgressCounter = 32767;

// The stored text, or nothing when no counter was ever stored.
std::optional<QString> readProgressCounter();
// The stored text, or `fallback` when no counter was ever stored ("NG" tells
// the two cases apart).
QString readProgressCounter(const QString &fallback);
// The counter as a number, the way a mail counts on from it (0 when none was
// ever stored).
long long progressCounterValue();
// Stores the counter, kept within 0 to 32767.
void storeProgressCounter(long long value);

// While one of these lives, storeProgressCounter keeps the counter in memory
// (readProgressCounter gives it back) and the store is written once, when
// the last hold ends. The mail check holds it for the whole run: a write of
// the settings store costs more than receiving a mail, and the check's
// journal tells how many mails a run that never ended had counted.
class ProgressCounterHold {
public:
    ProgressCounterHold();
    ~ProgressCounterHold();
    ProgressCounterHold(const ProgressCounterHold &) = delete;
    ProgressCounterHold &operator=(const ProgressCounterHold &) = delete;
    // Writes the held counter now (also when the hold ends).
    static void writeHeld();
};

// 1 once the whole pilgrimage is walked, else 0. It unlocks the notes
// functions of the main window.
qint16 pilgrimageComplete();
void setPilgrimageComplete(qint16 value);

}  // namespace korvane::pilgrimage
