#pragma once
// The mail check: fetches every waiting mail, walks the pilgrim one count per
// mail, stores each in the received history and removes it from the server.
namespace korvane::mail {

// The receive label's whole action (status line, feedback, check). While a
// check runs, it asks whether to stop it.
void receiveLabelClicked();
// The check itself.
void checkMail();
bool isCheckRunning();

}  // namespace korvane::mail
