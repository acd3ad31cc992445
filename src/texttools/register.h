#pragma once
namespace korvane::texttools {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
