#pragma once
// The 88 temples of the pilgrimage as the main window shows them: every five
// counts of the progress counter lead to the next temple.
#include <QString>

#include <span>

namespace korvane::pilgrimage {

struct Temple {
    int number;           // 1 to 88
    int labelLeft;        // place of the number label Label15 on the map, twips
    int labelTop;
    const char16_t *caption;  // name, prefecture and town, as Label22 shows it

    QString captionText() const { return QString::fromUtf16(caption); }
    // The marker ball Image5 stands 40 twips left of and 80 above the label.
    int markerLeft() const { return labelLeft - 40; }
    int markerTop() const { return labelTop - 80; }
};

constexpr int TempleCount = 88;
// Counts per temple, and the count that completes the pilgrimage.
constexpr int CountsPerTemple = 5;
constexpr int CompletionCount = TempleCount * CountsPerTemple;  // 440

std::span<const Temple> temples();
// Temple n (1 to 88), or nullptr.
const Temple *temple(int number);
// The temple reached with counter c: the first temple n with c <= 5n, so that
// every counter of 5 or less (0 and negative ones too) is temple 1. Counters
// above 440 belong to no temple: nullptr.
const Temple *templeForCounter(int counter);

}  // namespace korvane::pilgrimage
