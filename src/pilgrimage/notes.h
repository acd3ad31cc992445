#pragma once
// The temple notes functions of the main window, unlocked once the whole
// pilgrimage is walked, and the reset that sends the pilgrim back to temple 1.
namespace korvane::pilgrimage {

// The lock message of the three functions before the pilgrimage is complete.
extern const char16_t *const LockMessage;

void storeNotes();         // "  変更" (Label13)
void selectTemple();       // "  札所" (Label14)
void pasteNotes();         // "   貼付" (Label23)
void resetPilgrimage();    // " リセット" (Label24)

// Developer buttons of the main window.
void appendNotes();        // Command1 "登録"
void showSelectedNotes();  // Command2 "見る"
void showNoteCount();      // Command3 "登録数"
void storeCounterEntry();  // Command4 "レジストリ書き込み"

}  // namespace korvane::pilgrimage
