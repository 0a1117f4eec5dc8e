#pragma once
// Helpers several windows share.

#include <Qt>
#include <functional>
#include <string>

class QAbstractItemView;
class QComboBox;
class QDialog;
class QListWidget;
class QPushButton;
class QWidget;

class QLabel;

namespace shell {

// The title of the page shown in the main browser (pageTitleFromSource of its source).
std::string getPageTitle();

// Appends the items of the data files in programFolder + folder (relative, ending in "/") whose names end in
// extension, and of the supplied ones of an installed program (one item per name); never clears the list.
void fillFileList(const std::string& folder, const std::string& extension, QListWidget* list);
void fillFileList(const std::string& folder, const std::string& extension, QComboBox* list);

// The program's font: the windows are laid out in fixed pixels for a small dialog font (a 10-pixel Arial-like
// face), and wider faces would cut captions short; boxes keep their captions close. Call once the application
// object exists.
void useProgramFont();

// No window of the program closes on Escape: its windows end only by their own buttons and close boxes, and an
// Escape that threw away a half-made search or mail would lose the user's work. (A message box with only an OK
// button still takes Escape as OK; a Yes/No box refuses it, see platform/messagebox.) Nor has any window but a
// message box a default button: Enter in a field presses nothing. Call once the application object exists.
void useWindowKeyRules();

// Calls chosen whenever a key press (arrows, Home, End, a typed letter …) moves the view's current item, so that an
// item picked with the keyboard counts as one picked with the mouse. A current item set by the program or by the
// focus arriving is no choice and does not count.
void onKeyboardChoice(QAbstractItemView* view, std::function<void()> chosen);

// A secondary window's frame: title, system menu and close box.
inline constexpr Qt::WindowFlags dialogFlags
    = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Names the control and puts it at its fixed place: every control of the windows is placed this way.
template <typename Control>
Control* place(Control* control, const char* objectName, int x, int y, int width, int height)
{
    control->setObjectName(objectName);
    control->setGeometry(x, y, width, height);
    return control;
}

// A caption of one line, 20 pixels high.
QLabel* caption(QWidget* parent, const char* objectName, const char* text, int x, int y, int width);

// A 40 x 20 text button at x, y that Enter in a field never presses by itself.
QPushButton* makeDialogButton(QWidget* parent, const char* objectName, const char* caption, int x, int y);

// Gives the dialog a fixed inner size and centres it on the screen, its frame included once it has one.
void showFixedCentred(QDialog& dialog, int width, int height);

} // namespace shell
