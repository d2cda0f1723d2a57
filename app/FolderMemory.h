#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>

// What the file dialogs open in: the path up to its last separator, the separator itself removed;
// a path without one is used whole.
std::string InitialFolderOf(const std::string& strPath);
// A file's name without its folder and its extension: "/x/track.dlg" gives "track".
std::string StemOf(const std::string& strPath);

// What each file dialog is for: each keeps a folder of its own.
enum class FolderUse { Open, Download, Output };

// The folders the file dialogs open in when the path boxes give none; the remembered choices keep
// them between runs.
class FolderMemory {
  public:
    const std::string& Folder(FolderUse use) const { return m_folders[Index(use)]; }
    void SetFolder(FolderUse use, std::string strFolder) {
        m_folders[Index(use)] = std::move(strFolder);
    }
    // The folder of a path the user chose; a path without one leaves the folder kept.
    void RememberFolderOf(FolderUse use, const std::string& strPath);

  private:
    static size_t Index(FolderUse use) { return static_cast<size_t>(use); }
    std::array<std::string, 3> m_folders;
};
