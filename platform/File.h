#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Files by UTF-8 path; one source file per platform (FilePosix.cpp, FileWin32.cpp). A failure keeps
// the system's error code, so that a message can name the reason.

// The system's error code (errno, GetLastError) of a failed call; 0 when there was none.
using SystemError = int;

// The system's text for an error code ("No space left on device").
std::string SystemErrorText(SystemError nError);
// The code a refused non-regular file gets (a FIFO, a device, a folder given as a raw log).
SystemError NotARegularFileError();

class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing regular file for reading. Never blocks, not even on a FIFO; anything but a
    // regular file is refused.
    [[nodiscard]] bool OpenRead(const std::string& strPath);
    // Creates a file that must not exist yet, for writing.
    [[nodiscard]] bool CreateNew(const std::string& strPath);
    // Creates a file with a short unique name (".qv-XXXXXX") in strFolder ("" for the current
    // folder), for writing. Path() names it.
    [[nodiscard]] bool CreateTemp(const std::string& strFolder);

    [[nodiscard]] bool Size(uint64_t& nBytes);
    // Up to nMax bytes; nRead 0 at the end of the file.
    [[nodiscard]] bool Read(uint8_t* pBuffer, size_t nMax, size_t& nRead);
    // All n bytes, or false.
    [[nodiscard]] bool WriteAll(const void* p, size_t n);
    // Starts putting nBytes from nOffset on the disk without waiting for it, so that a Sync()
    // at the end has little left to wait for. Only a hint: nothing happens where it is not offered.
    void StartWriteBack(uint64_t nOffset, uint64_t nBytes);
    // Cuts the file to nBytes.
    [[nodiscard]] bool Truncate(uint64_t nBytes);
    // Everything written is on the disk when this returns true.
    [[nodiscard]] bool Sync();
    // False when the close reported an error that lost written data.
    [[nodiscard]] bool Close();

    bool IsOpen() const { return m_hFile != -1; }
    const std::string& Path() const { return m_strPath; }
    SystemError Error() const { return m_nError; }
    intptr_t Handle() const { return m_hFile; }

  private:
    bool Fail();

    intptr_t m_hFile = -1;
    std::string m_strPath;
    SystemError m_nError = 0;
};

// Moves strFrom over strTo in one step, replacing a file of that name. 0 or the error.
[[nodiscard]] SystemError RenameOver(const std::string& strFrom, const std::string& strTo);
// Gives strFrom the name strTo in one step, but only while no file has that name: then 0. A name
// already taken gives an error for which IsNameTaken() holds; anything else gives the error.
[[nodiscard]] SystemError RenameNoReplace(const std::string& strFrom, const std::string& strTo);
bool IsNameTaken(SystemError nError);
void RemoveFile(const std::string& strPath);
// Makes the folder and any folder missing above it: 0 or the error.
[[nodiscard]] SystemError CreateFolders(const std::string& strPath);
// The names in a folder, without "." and "..". False when it cannot be read.
[[nodiscard]] bool ListFolder(const std::string& strPath, std::vector<std::string>& names);
// Opens the null device on each of standard input, output and error that is closed. Called first
// in every program: a port or file opened later would otherwise take that number, and text meant
// for the terminal would go to the logger or into a raw log.
void OpenClosedStandardStreams();
// This process's number: names that several processes make in one folder stay apart.
uint32_t CurrentProcessId();
// Puts a folder's entries on the disk (a name just given to a file there): a file synced and then
// renamed survives a power loss only once its folder is. Nothing where the system does it itself.
void SyncFolder(const std::string& strPath);
// Whether anything (a file, a folder, a link) has this name.
bool PathExists(const std::string& strPath);
// The file a path finally names: symbolic links followed to their target. A path that is no link,
// or whose link cannot be read, is returned as it is.
std::string ResolveLinks(const std::string& strPath);
// The folder part of a path ("" when there is none).
std::string FolderOf(const std::string& strPath);
// Gives the open file the permissions of the existing file strModel (and its owner and group where
// this process may). Nothing when strModel does not exist.
void CopyPermissions(const std::string& strModel, File& file);
// A file's last modification time as the system keeps it, to hand back to SetModificationTime.
using FileTime = int64_t;
// False when the file does not exist or its time cannot be read.
[[nodiscard]] bool ReadModificationTime(const std::string& strPath, FileTime& time);
// Gives the open file that modification time. After its last write: every write sets it anew.
void SetModificationTime(File& file, FileTime time);
