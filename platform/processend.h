#pragma once
// The last step of every way out of the program.

#include <functional>

namespace platform {

// Ends the process at once with the exit code: no destructors, no further event handling, so nothing that a
// caller would do after it (saving, say) can happen. Tests replace the ending with their own hook.
void endProcessNow(int exitCode);

// Replaces the ending for tests; an empty function restores the real one.
void setProcessEndHook(std::function<void(int)> hook);

} // namespace platform
