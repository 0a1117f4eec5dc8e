#pragma once
// The network layer the downloads use (libcurl's global state).

namespace platform {

// Returns false when the layer can't be started; the program then reports "Network Error" and ends.
bool startNetwork();
void stopNetwork();

} // namespace platform
