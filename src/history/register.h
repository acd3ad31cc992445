#pragma once
namespace korvane::mail {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
