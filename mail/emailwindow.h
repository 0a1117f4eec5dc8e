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
// no click, key or close request reaches any of them. The certificate pinned for the profile and its server, if
// any, is the one the server must show.
int sendFromWindow(const std::string& profileName, const std::string& senderEmail, const std::string& recipients,
                   const std::string& subject, const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                   const std::string& userName, const std::string& password, std::string& errorText);

// What a send went out with, for its result box.
struct SentWith {
    std::string profileName, smtpServer, senderEmail;
};

// "Mail Sent OK" for 0; otherwise the error box, with the server's words or the failure's description under the
// result, then what the password must be after a refused log-in. When the server's certificate was refused and
// pinning it would let it through, the box offers "Trust This Certificate…", which shows the certificate and on Yes
// pins it for the profile.
void showSendResult(int result, const std::string& errorText, const SentWith& sent);

// After a failed send from a window that stays open: the library's shutdown releases the failed session, and the
// window's own start is made again. False when the library can't be started again.
bool restartSecurityLibrary();

// Runs the window with openingTab in front; returns defaultProfile as the window leaves it. When the security
// library can't be used, a message says so and no window opens.
int emailWindow(int openingTab, int defaultProfile, int expertMode);

} // namespace mail
