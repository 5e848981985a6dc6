#include "support/ui/FolderBrowser.h"

#include <QFileDialog>
#include <QStringList>

#include "platform/Files.h"
#include "support/String.h"

namespace Tovanix {
namespace {

FolderDialog g_folderDialog;

// Qt's own dialog: folders only, with an edit box for typing a path.
bool ShowQtFolderDialog(const std::string& title, const std::string& startFolder, std::string* chosen) {
    QFileDialog dialog(nullptr, QString::fromLocal8Bit(title.c_str()), QString::fromLocal8Bit(startFolder.c_str()));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    *chosen = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    return true;
}

}  // namespace

void SetFolderDialog(FolderDialog dialog) { g_folderDialog = std::move(dialog); }

bool String::BrowseForFolder(const char* title) {
    const std::string held = platform::NativePath(c_str());
    const std::string start = held.empty() ? std::string(1, '/') : held;
    std::string chosen;
    const std::string caption = title ? title : "";
    bool ok = g_folderDialog ? g_folderDialog(caption, start, &chosen) : ShowQtFolderDialog(caption, start, &chosen);
    if (ok) {
        *this = chosen.c_str();
    }
    return ok;
}

}  // namespace Tovanix
