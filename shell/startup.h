#pragma once

namespace shell {

// The whole program: start-up, the event loop, the end. Returns the exit code.
int runProgram(int argc, char** argv);

} // namespace shell
