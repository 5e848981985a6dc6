#pragma once

// The folder browser behind Tovanix::String::BrowseForFolder.

#include <functional>
#include <string>

namespace Tovanix {

// Shows a folder dialog with the title, starting in `startFolder`; true with
// the chosen folder on OK, false on Cancel.
using FolderDialog = std::function<bool(const std::string& title, const std::string& startFolder, std::string* chosen)>;

// Replaces the dialog (tests answer without a window); an empty function
// restores Qt's folder dialog.
void SetFolderDialog(FolderDialog dialog);

}  // namespace Tovanix
