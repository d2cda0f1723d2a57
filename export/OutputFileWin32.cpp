#include <windows.h>

#include <algorithm>

#include "OutputFileIo.h"
#include "track/WideText.h"

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

CreateOutcome CreateExclusiveFile(const std::string& strPath, intptr_t& hFile) {
    const std::wstring wPath = WidenUtf8(strPath);
    if (wPath.empty()) return CreateOutcome::Failed;
    // Delete sharing lets the file be renamed into place while still open elsewhere for reading.
    const HANDLE h =
        ::CreateFileW(wPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        hFile = reinterpret_cast<intptr_t>(h);
        return CreateOutcome::Created;
    }
    const DWORD nError = ::GetLastError();
    return nError == ERROR_FILE_EXISTS || nError == ERROR_ALREADY_EXISTS ? CreateOutcome::NameTaken
                                                                         : CreateOutcome::Failed;
}

bool WriteWholeBuffer(intptr_t hFile, const char* p, size_t n) {
    while (n > 0) {
        // WriteFile counts in 32 bits.
        const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(n, DWORD{1} << 30));
        DWORD nDone = 0;
        if (!::WriteFile(AsHandle(hFile), p, nAsk, &nDone, nullptr) || nDone == 0) return false;
        p += nDone;
        n -= nDone;
    }
    return true;
}

bool CloseOutputHandle(intptr_t hFile) {
    return ::CloseHandle(AsHandle(hFile)) != 0;
}

bool MoveOutputIntoPlace(const std::string& strFrom, const std::string& strTo) {
    const std::wstring wFrom = WidenUtf8(strFrom);
    const std::wstring wTo = WidenUtf8(strTo);
    if (wFrom.empty() || wTo.empty()) return false;
    // Write-through: the call returns only when the move is on disk, as a POSIX rename after a
    // successful close is for our purposes.
    return ::MoveFileExW(wFrom.c_str(), wTo.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveOutputFile(const std::string& strPath) {
    const std::wstring wPath = WidenUtf8(strPath);
    if (!wPath.empty()) ::DeleteFileW(wPath.c_str());
}

unsigned long OutputProcessId() {
    return ::GetCurrentProcessId();
}
