#pragma once

#include <string>

#include "File.h"

// The one way a finished file takes its name. The bytes go to a temporary file beside the file
// the name finally stands for (a symbolic link is followed, not replaced), which a stop signal
// removes; Commit() gives it the permissions of the file it replaces, puts it on the disk and
// renames it over the target. Until then, and whenever something fails, the target stays as it
// was: a power loss leaves the old file or the new one, never a half-written one.
class ReplacementFile {
  public:
    ReplacementFile() = default;
    ~ReplacementFile() { Discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file in the target's folder. False (with Error()) when it cannot.
    [[nodiscard]] bool Create(const std::string& strTarget);
    // The temporary file, to write into.
    File& Temp() { return m_file; }
    const File& Temp() const { return m_file; }
    // Whether the finished file keeps the modification time of the file it replaces (for a
    // change of a few tags that leaves the content as the user knows it); off unless asked.
    void KeepModificationTime(bool bKeep) { m_bKeepTime = bKeep; }
    // Moves the finished file into place. False on any failure, in which case the temporary file
    // is removed and the target is untouched.
    [[nodiscard]] bool Commit();
    // Keeps what was written under a free name "<stem><end>", "<stem>-2<end>", ... instead of the
    // target's; returns that name, or the temporary file's own when it cannot be renamed.
    std::string KeepAs(const std::string& strStem, const std::string& strEnd);
    // Removes the temporary file without touching the target.
    void Discard();

    const std::string& Target() const { return m_strTarget; }
    SystemError Error() const { return m_nError; }

  private:
    std::string m_strTarget;  // the file the name stands for, links followed
    File m_file;
    std::string m_strTemp;  // while the temporary file exists
    SystemError m_nError = 0;
    bool m_bKeepTime = false;
};

// Renames strFrom to "<stem><end>", "<stem>-2<end>", ... whichever is free first, never over a
// file that has one of those names; strTo says which it got. 0 or the error.
[[nodiscard]] SystemError RenameToFreeName(const std::string& strFrom, const std::string& strStem,
                                           const std::string& strEnd, std::string& strTo);

// What marks a name as holding an incomplete download: "track.partial.dlg".
inline constexpr char kPartialMark[] = ".partial";
