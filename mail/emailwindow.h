#pragma once
// The e-mail window: mails the page shown in the main browser to friends, and edits the sender profiles.

#include <QString>

#include <string>

namespace mail {

inline constexpr int emailPageTab = 0;
inline constexpr int emailSetupTab = 1;

// For both mail windows: initialises the security library, or says why e-mail is not available (and then no
// window opens). True when the library is ready.
bool startSecurityLibrary();

// The subject proposed for a page: its title (shell::pageTitleFromSource) read in the page's own character set,
// its blanks and line breaks folded into single blanks and trimmed.
QString proposedSubject(const std::string& pageSource);

// sendMail for a mail window: while it waits the windows repaint and their timers run, under a busy cursor, and
// no click, key or close request reaches any of them.
int sendFromWindow(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                   const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                   const std::string& userName, const std::string& password, std::string& errorText);

// "Mail Sent OK" for 0; otherwise the error box, with the server's words or the failure's description under the
// result.
void showSendResult(int result, const std::string& errorText);

// Runs the window with openingTab in front; returns defaultProfile as the window leaves it. When the security
// library can't be used, a message says so and no window opens.
int emailWindow(int openingTab, int defaultProfile, int expertMode);

} // namespace mail
