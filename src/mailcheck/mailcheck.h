#pragma once
// The mail check: fetches every waiting mail, walks the pilgrim one count per
// mail, stores each in the received history and removes it from the server.
#include <QString>

#include <functional>

namespace korvane::mail {

// The receive label's whole action (status line, feedback, check). While a
// check runs, it asks whether to stop it.
void receiveLabelClicked();
// The check itself.
void checkMail();
bool isCheckRunning();

// What a finished check brought: the mails taken up and the first of them as
// the viewer showed it.
struct CheckSummary {
    int received = 0;
    QString firstFrom;
    QString firstSubject;
};
// Called after every check that ran to its end or stopped (not when it
// could not start); one handler, an empty one removes it.
using CheckFinishedHandler = std::function<void(const CheckSummary &)>;
void setCheckFinishedHandler(CheckFinishedHandler handler);

}  // namespace korvane::mail
