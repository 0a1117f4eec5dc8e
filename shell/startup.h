#pragma once

namespace shell {

// The whole program: start-up, the event loop, the end. Returns the exit code.
int runProgram(int argc, char** argv);

// Puts the main window just opened into the tray, or minimises it where the desktop has no notification area.
void putInTray();
// Removes the siblings that writes killed half-way left in the program's folders and beside the log-in entry.
void removeLeftoverWrites();

} // namespace shell
