#pragma once
namespace korvane::palette {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
