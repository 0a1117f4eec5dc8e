#pragma once
// The watching itself, on the window's side: when each watched search runs (one single-shot timer), its run on a
// thread of its own, and the alerts when the run is over. Never more than one run against the site at a time.

namespace watch {

// Reads the watch files, fills the watch window's hooks and arms the timer. Once the main window is open.
void startWatching();

// The program's exit: a watch run stops between two cities as an interrupted run; waits for it.
void stopWatching();

// Around the builder's run: a watch run that goes is stopped between two cities first (the windows keep
// repainting, and take no input, meanwhile), and no watch run starts until endBuilderRun.
void beginBuilderRun();
void endBuilderRun();

} // namespace watch
