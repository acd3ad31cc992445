#pragma once
namespace korvane::compose {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
