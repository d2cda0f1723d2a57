#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "OutputBuffer.h"
#include "platform/ReplacementFile.h"

// An output file that appears under its name only when it was written completely (a
// ReplacementFile): a file that is never finished, or fails, leaves the target as it was.
//
// Writing runs on a thread of its own: while the kernel copies one full buffer into the file, the
// caller formats the next one, so a translation costs about the larger of the two, not their sum.
class OutputFile final : public OutputBuffer {
  public:
    static constexpr size_t kBufferSize = size_t{2} << 20;

    OutputFile();
    ~OutputFile() override;

    // Creates the temporary file in the target's folder. False when it cannot be created. One
    // OutputFile makes one file.
    [[nodiscard]] bool Create(const std::string& strPath);

    // Writes out the buffer, closes the file and moves it into place. False on any failure, in
    // which case the temporary file is removed and the target is untouched.
    [[nodiscard]] bool Finish();

    // Removes the temporary file without touching the target.
    void Discard();

    // The system's reason of the failure of Create() or Finish().
    SystemError Error() const { return m_nError; }

  protected:
    bool FlushBuffer(std::unique_ptr<char[]>& pBuffer, size_t n) override;

  private:
    void WriterLoop();
    // Waits until the writer thread holds no bytes; returns whether all its writes succeeded.
    bool WaitForWriter();
    void StopWriter();

    ReplacementFile m_file;
    SystemError m_nError = 0;

    std::thread m_writer;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::unique_ptr<char[]> m_pPending;  // the buffer the writer works on
    size_t m_nPending = 0;               // bytes waiting in it; 0 when the writer is idle
    uint64_t m_nWritten = 0;             // bytes in the file; the writer's thread only
    bool m_bWriteFailed = false;
    bool m_bStop = false;
};

// "Can't generate output file." with the file and the system's reason on a second line.
std::string OutputFileMessage(const std::string& strPath, SystemError nError);
