#pragma once
// The window "Quillobrand Watch": which saved searches are watched, how often they run and where their digest
// goes, and whether the program starts at log-in.

#include <cstdint>
#include <functional>
#include <string>

namespace watch {

struct WatchWindowHooks {
    // "Run Now" for the chosen watch, once its file holds what the window shows.
    std::function<void(const std::string& name)> runNow;
    // After Save (and after Run Now wrote the chosen watch): the watch files have changed.
    std::function<void()> watchesSaved;
};

// The hooks the shell's menu item hands to the window; filled by whoever runs the watches.
WatchWindowHooks& windowHooks();

// A watch run has ended and written its file: the open window, if any, shows that watch's last run and result
// again.
void showRunEnded(const std::string& name);

// Runs the window modally until Exit or its close box. Tool tips only when expertMode is 0. Nothing is written
// before Save (or Run Now, for the chosen watch).
void watchWindow(std::int32_t expertMode, const WatchWindowHooks& hooks);

} // namespace watch
