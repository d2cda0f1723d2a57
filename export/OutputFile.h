#pragma once

#include <string>

#include "OutputBuffer.h"

// An output file that appears under its name only when it was written completely. The bytes go to a
// temporary file beside the target; Finish() renames it over the target after every write and the
// close succeeded. A file that is never finished, or fails, leaves the target as it was.
class OutputFile final : public OutputBuffer {
public:
    OutputFile() = default;
    ~OutputFile() override;

    // Creates the temporary file in the target's folder. False when it cannot be created.
    [[nodiscard]] bool Create(const std::string& strPath);

    // Writes out the buffer, closes the file and moves it into place. False on any failure, in which
    // case the temporary file is removed and the target is untouched.
    [[nodiscard]] bool Finish();

    // Removes the temporary file without touching the target.
    void Discard();

    const std::string& TempPath() const { return m_strTempPath; }

protected:
    bool FlushBytes(const char* p, size_t n) override;

private:
    std::string m_strPath;
    std::string m_strTempPath;
    int m_fd = -1;
};
