// The main window's file commands: "Pickup All", "Delete", "DeleteAll" and
// "..". The work is the core's (pick_up_all.h, delete_files.h); the window
// holds the commands that would interleave with a walk of the result list
// (EnableCommands). See frm_main.h.
#include <filesystem>

#include "frm_main.h"
#include "player/core/files/delete_files.h"
#include "player/core/files/pick_up_all.h"
#include "player/core/file_utilities.h"

namespace player {

void frmMain::ConnectFiles() {
    connect(cmdPickUpAll, &QPushButton::clicked, this, &frmMain::OnPickUpAll);
    connect(cmdDelFile, &QPushButton::clicked, this, &frmMain::OnDelFile);
    connect(cmdDelAllFile, &QPushButton::clicked, this, &frmMain::OnDelAllFile);
    connect(cmdChooseMainFolder, &QPushButton::clicked, this, &frmMain::OnChooseMainFolder);
}

void frmMain::OnPickUpAll() {
    if (walking_) return;
    walking_ = true;
    EnableCommands();
    if (const std::string folder = PickUpAll(this, *convertWindow_); !folder.empty()) exportFolder_ = folder;
    walking_ = false;
    if (!exited_) EnableCommands();
}

void frmMain::OnDelFile() { DeleteCurrentFile(); }

void frmMain::OnDelAllFile() {
    if (walking_) return;
    walking_ = true;
    EnableCommands();
    DeleteAllFiles();
    walking_ = false;
    if (!exited_) EnableCommands();
}

// The box shows the picked folder, or nothing when the picker was
// cancelled or the folder is gone; a rebuild stores it later.
void frmMain::OnChooseMainFolder() {
    const std::string folder = BrowseForFolder(this, "Your Voice Folder");
    std::error_code ec;
    const bool isFolder = !folder.empty() && std::filesystem::is_directory(folder, ec);
    txtMainFolderPath->setText(isFolder ? QString::fromStdString(folder) : QString());
}

}  // namespace player
