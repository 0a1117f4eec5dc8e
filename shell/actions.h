#pragma once
// What each control and menu command of the main window does. Windows that arrive later are wired here, one
// function each.

namespace shell {

void dispatchCommand(int command);

void goBack();
void goForward();
void goHome();
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
