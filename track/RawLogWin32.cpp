#include <windows.h>

#include <algorithm>

#include "RawLogFile.h"
#include "WideText.h"

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

RawLogFile::~RawLogFile() {
    if (AsHandle(m_hFile) != INVALID_HANDLE_VALUE) ::CloseHandle(AsHandle(m_hFile));
}

bool RawLogFile::Open(const std::string& strPath) {
    const std::wstring wPath = WidenUtf8(strPath);
    if (wPath.empty()) return false;
    // Others may read and even replace the file meanwhile, as on POSIX.
    const HANDLE h = ::CreateFileW(wPath.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;  // also for a folder: no backup semantics asked
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return false;
    }
    m_hFile = reinterpret_cast<intptr_t>(h);
    return true;
}

bool RawLogFile::Size(uint64_t& nBytes) const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(m_hFile), &size) || size.QuadPart < 0) return false;
    nBytes = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool RawLogFile::Read(uint8_t* pBuffer, size_t nMax, size_t& nRead) {
    // ReadFile counts in 32 bits; the loader's loop asks again for the rest.
    const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(nMax, DWORD{1} << 30));
    DWORD nDone = 0;
    nRead = 0;
    if (!::ReadFile(AsHandle(m_hFile), pBuffer, nAsk, &nDone, nullptr)) return false;
    nRead = nDone;
    return true;
}
