#pragma once
// The desktop's file dialog for choosing where a file is saved.

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace platform {

// Asks where to save, starting at suggestedPath (a folder and a file name); nothing when the user cancels.
// filter is a Qt name filter such as "CSV files (*.csv)".
std::optional<std::string> chooseSaveFile(QWidget* parent, const std::string& caption, const std::string& suggestedPath,
                                          const std::string& filter);

// Tests choose instead of a user: the chooser sees the suggested path and answers. An empty function shows the
// real dialog again.
void setSaveFileChooser(std::function<std::optional<std::string>(const std::string& suggestedPath)> chooser);

} // namespace platform
