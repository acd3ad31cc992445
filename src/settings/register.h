#pragma once
namespace korvane::settings {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
