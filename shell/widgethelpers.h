#pragma once
// Helpers several windows share.

#include <Qt>
#include <string>

class QComboBox;
class QDialog;
class QListWidget;
class QPushButton;
class QWidget;

namespace shell {

// The title of the page shown in the main browser (pageTitleFromSource of its source).
std::string getPageTitle();

// Appends the items of the data files in programFolder + folder (relative, ending in "/") whose names end in
// extension; never clears the list.
void fillFileList(const std::string& folder, const std::string& extension, QListWidget* list);
void fillFileList(const std::string& folder, const std::string& extension, QComboBox* list);

// The program's font: the windows are laid out in fixed pixels for a small dialog font (a 10-pixel Arial-like
// face), and wider faces would cut captions short; boxes keep their captions close. Call once the application
// object exists.
void useProgramFont();

// A secondary window's frame: title, system menu and close box.
inline constexpr Qt::WindowFlags dialogFlags
    = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// A 40 x 20 text button at x, y that Enter in a field never presses by itself.
QPushButton* makeDialogButton(QWidget* parent, const char* objectName, const char* caption, int x, int y);

// Gives the dialog a fixed inner size and centres it on the screen, its frame included once it has one.
void showFixedCentred(QDialog& dialog, int width, int height);

} // namespace shell
