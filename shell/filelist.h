#pragma once

#include <string>
#include <vector>

namespace shell {

// The items a saved-item list shows for the files in folderPath whose names end in extension: each name with
// every occurrence of the extension removed (exact letter case). Folders are skipped. The order is the names'
// byte order, so that a position (the default sender profile) means the same file from run to run. A missing
// folder gives no items.
std::vector<std::string> listDataFiles(const std::string& folderPath, const std::string& extension);
// The same over several folders together, a name found in more than one folder giving one item.
std::vector<std::string> listDataFiles(const std::vector<std::string>& folderPaths, const std::string& extension);

} // namespace shell
