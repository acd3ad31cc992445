#pragma once
// The program's start: what main() does, shared with the start-up benchmark.
class QCoreApplication;

namespace korvane::app {

class Mainform;

// Names the application and loads Qt's Japanese translation, so that the
// stock buttons read はい, いいえ, キャンセル.
void prepareApplication(QCoreApplication &app);
// Prepares the program folder (a message and nothing more when it cannot be
// made), registers every window, loads the main window, runs its start-up and shows
// it centred on the screen.
Mainform *startProgram();
// The end of the program, once its event loop has stopped: ends the mail
// transport.
void endProgram();

}  // namespace korvane::app
