#pragma once
// The about window: logo, four local documents, tip buttons, the maker's site and the invite form.

#include <string>

namespace about {

// Runs the window titled programName; returns on Exit or a close request.
void aboutWindow(const std::string& programName);

} // namespace about
