#pragma once
// The map and guide displays of the main window, working on the controls of
// the registered `Mainform` window by their names (Text1, Text2, Text4, Text8,
// Text9, Label10, Label11, Label15, Label22, Label25, Image2, Image5).
#include <functional>

class QPlainTextEdit;
class QWidget;
class QString;

namespace korvane::pilgrimage {

void showGuide();
void showMap();
// What the start shows: the guide filled, then the map, as showGuide and
// showMap one after the other, without making the notes box, which the
// first frame does not show (the note read waits for it, notesBoxMade).
void showStartingMap();
// What the mail check does for each mail before fetching it: stores the
// counter of Text8 plus one as progressCounter, then showGuide and showMap.
void advanceOneMail();
// The same step, shown with the next frame: while mails come in faster than
// the screen is drawn, the guide and the map are filled once per frame with
// the counter as it then stands. What any action of the main window reads
// (and the end of the check, with showPendingStep) finds the last step
// shown.
void advanceOneMailInFrame();
void showPendingStep();

// Puts the notes of temple n into Text1 and holds the record for a later
// writeTempleNote. A record missing from the file gives an empty note.
void readTempleNote(int n);
// Stores the text of Text1 as record n, with the prefix of the record read
// last. False (with the reason in *error) when the note does not fit its
// field or the file cannot be written.
bool writeTempleNote(int n, QString *error = nullptr);

// The last step of start-up: the pilgrimage counts as complete when the
// temple shown is the 88th. With no temple shown (a counter above 440) the
// flag keeps what the counter gave it.
void setCompletionFromShownTemple();

// Connects the main window's pilgrimage controls once they exist: the change
// of Text8 (Label25 and the completion flag), the counter entry Text9, the
// launchers Label10 and Label11, the notes buttons and the developer buttons.
// `makeTextBoxes` makes the main window's text boxes where they do not exist
// yet; the notes box is asked for through it.
void connectMainform(QWidget *form, std::function<void()> makeTextBoxes);
// The main window's notes box, Text1, made if it does not exist yet.
QPlainTextEdit *notesBox();
// The notes box has been made: it takes its place and the note read last.
void notesBoxMade(QPlainTextEdit *notes);

}  // namespace korvane::pilgrimage
