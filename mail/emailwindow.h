#pragma once
// The e-mail window: mails the page shown in the main browser to friends, and edits the sender profiles.

namespace mail {

inline constexpr int emailPageTab = 0;
inline constexpr int emailSetupTab = 1;

// For both mail windows: initialises the security library, or says why e-mail is not available (and then no
// window opens). True when the library is ready.
bool startSecurityLibrary();

// Runs the window with openingTab in front; returns defaultProfile as the window leaves it. When the security
// library can't be used, a message says so and no window opens.
int emailWindow(int openingTab, int defaultProfile, int expertMode);

} // namespace mail
