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
// Stores the counter, kept within 0 to 32767.
void storeProgressCounter(long long value);

// 1 once the whole pilgrimage is walked, else 0. It unlocks the notes
// functions of the main window.
qint16 pilgrimageComplete();
void setPilgrimageComplete(qint16 value);

}  // namespace korvane::pilgrimage
