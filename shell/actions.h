#pragma once
// What each control and menu command of the main window does. Windows that arrive later are wired here, one
// function each.

#include <string>

namespace shell {

// How long a started help program is watched for a failure to show the guide.
inline constexpr int helpWatchMs = 20000;
// What the user is told when the guide could not be shown: where its file is.
std::string helpNotShownText();

void dispatchCommand(int command);

void goBack();
void goForward();
void goHome();
void reloadPage();
void openFindInPage();
void startHelpProgram();
void openSearchBuilder();
void openSaveThisPage();
void openSavedPages();
void openProgramOptions();
void openEmailOptions();
void openEmailToFriend();
void openReplyToAd();
void openAbout();
void openWatchSearches();
void openAdsList();

} // namespace shell
