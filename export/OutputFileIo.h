#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The file operations behind OutputFile, one source file per platform (OutputFilePosix.cpp,
// OutputFileWin32.cpp). Paths are UTF-8; a handle is -1 when there is no file.

inline constexpr intptr_t kNoOutputHandle = -1;

enum class CreateOutcome { Created, NameTaken, Failed };

// Creates a new file for writing; NameTaken when something already has that name.
[[nodiscard]] CreateOutcome CreateExclusiveFile(const std::string& strPath, intptr_t& hFile);
// Writes all n bytes; false on any failure (a full disk, for instance).
[[nodiscard]] bool WriteWholeBuffer(intptr_t hFile, const char* p, size_t n);
// False when the close reports an error that lost written data.
bool CloseOutputHandle(intptr_t hFile);
// Moves a finished file over the target in one step, replacing a file of that name.
[[nodiscard]] bool MoveOutputIntoPlace(const std::string& strFrom, const std::string& strTo);
void RemoveOutputFile(const std::string& strPath);
// Tells this program's temporary names from another running copy's.
unsigned long OutputProcessId();
