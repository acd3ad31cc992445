#pragma once
// The history window `TyakuForm` (received or sent mail).
#include "history/mailhistory.h"

class QWidget;

namespace korvane::mail {

// The main window's launchers: feedback on `launcher` (may be null), then show
// the window on the chosen history and load its list.
void openHistoryWindow(HistoryKind kind, QWidget *launcher = nullptr);

}  // namespace korvane::mail
