#pragma once
// The program's fixed message boxes.

#include <functional>
#include <string>

namespace platform {

enum class BoxIcon { None, Information, Warning, Error, Question };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::None;
    bool yesNo = false;
    std::string extraButton; // an OK box's second button, when not empty
};

// A box with an OK button.
void showMessageBox(const std::string& caption, const std::string& text, BoxIcon icon);
// A box with Yes and No buttons; true for Yes. Only the buttons answer it: it has no close box and ignores
// Escape.
bool askYesNo(const std::string& caption, const std::string& text, BoxIcon icon = BoxIcon::Question);

// An error or notice box with OK and a second button of this caption; true when the second button was pressed.
// Escape and the close box answer OK.
bool showMessageBoxWithButton(const std::string& caption, const std::string& text, BoxIcon icon,
                              const std::string& extraButton);

// Tests answer the boxes instead of a user: the responder sees each request and returns the Yes/No answer (or
// whether the second button was pressed).
// An empty function shows real boxes again.
void setMessageBoxResponder(std::function<bool(const MessageBoxRequest&)> responder);

} // namespace platform
