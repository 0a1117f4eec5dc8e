#pragma once
// The reply window: answers the ad shown in the main browser at the address its page gives.

namespace mail {

// Runs the window for the ad page in the main browser; returns defaultProfile unchanged. Opens nothing when the
// page holds no reply address, or (after saying so) when the security library can't be used.
int replyToAdWindow(int defaultProfile, int expertMode);

} // namespace mail
