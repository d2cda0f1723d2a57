#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "OutputFileIo.h"

CreateOutcome CreateExclusiveFile(const std::string& strPath, intptr_t& hFile) {
    // 0666 before the umask: the finished file gets the permissions of a plainly created one.
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        hFile = fd;
        return CreateOutcome::Created;
    }
    return errno == EEXIST ? CreateOutcome::NameTaken : CreateOutcome::Failed;
}

bool WriteWholeBuffer(intptr_t hFile, const char* p, size_t n) {
    const int fd = static_cast<int>(hFile);
    while (n > 0) {
        const ssize_t nDone = ::write(fd, p, n);
        if (nDone < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

bool CloseOutputHandle(intptr_t hFile) {
    return ::close(static_cast<int>(hFile)) == 0;
}

bool MoveOutputIntoPlace(const std::string& strFrom, const std::string& strTo) {
    return std::rename(strFrom.c_str(), strTo.c_str()) == 0;
}

void RemoveOutputFile(const std::string& strPath) {
    ::unlink(strPath.c_str());
}

unsigned long OutputProcessId() {
    return static_cast<unsigned long>(::getpid());
}
