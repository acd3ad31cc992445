#pragma once
namespace korvane::pilgrimage {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
