#pragma once
namespace korvane::app {
// Registers the windows of every subsystem with the window registry.
void registerAllWindows();
}
