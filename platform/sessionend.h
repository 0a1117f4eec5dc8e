#pragma once
// Log-off and shutdown: the session manager's request to save, and SIGTERM.

#include <functional>

namespace platform {

// Runs handler, from whichever event loop is waiting, when the desktop session ends or the process is asked to
// terminate. Call once, after the QApplication exists.
void installSessionEndHandler(std::function<void()> handler);

} // namespace platform
