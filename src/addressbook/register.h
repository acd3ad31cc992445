#pragma once
namespace korvane::addressbook {
// Registers this subsystem's windows with the window registry (common/windows.h).
void registerWindows();
}
