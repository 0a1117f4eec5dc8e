#pragma once
// The reply window: answers the ad shown in the main browser at the address its page gives.

namespace mail {

inline constexpr const char* noReplyAddressText
    = "Open an ad's page first: Reply To Ad answers the ad shown in the browser.";

// Runs the window for the ad page in the main browser; returns defaultProfile unchanged. Opens no window, after
// saying so, when the page holds no reply address or when the security library can't be used.
int replyToAdWindow(int defaultProfile, int expertMode);

} // namespace mail
