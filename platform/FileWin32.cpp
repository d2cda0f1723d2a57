#include <windows.h>

#include <algorithm>
#include <atomic>

#include "File.h"
#include "Text.h"

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// The wide form of a path. A long absolute path gets the "\\?\" form, which lifts the 260
// character limit that a temporary name beside a long target would otherwise break.
std::wstring WidePath(const std::string& strPath) {
    std::wstring wPath = WidenUtf8(strPath);
    if (wPath.empty() || wPath.size() < MAX_PATH - 12 || wPath.rfind(L"\\\\?\\", 0) == 0) {
        return wPath;
    }
    const DWORD nFull = ::GetFullPathNameW(wPath.c_str(), 0, nullptr, nullptr);
    if (nFull == 0) return wPath;
    std::wstring full(nFull, L'\0');
    const DWORD nLen = ::GetFullPathNameW(wPath.c_str(), nFull, full.data(), nullptr);
    if (nLen == 0 || nLen >= nFull) return wPath;
    full.resize(nLen);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

constexpr SystemError kNotARegularFile = -1;

}  // namespace

std::string SystemErrorText(SystemError nError) {
    if (nError == kNotARegularFile) return "not a regular file";
    wchar_t* pText = nullptr;
    const DWORD nLen = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(nError), 0, reinterpret_cast<wchar_t*>(&pText), 0, nullptr);
    std::string text = nLen > 0 ? NarrowToUtf8(std::wstring_view(pText, nLen)) : std::string();
    if (pText != nullptr) ::LocalFree(pText);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' ||
                             text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(nError) : text;
}

SystemError NotARegularFileError() {
    return kNotARegularFile;
}

File::~File() {
    if (m_hFile != -1) ::CloseHandle(AsHandle(m_hFile));
}

File::File(File&& other) noexcept
    : m_hFile(other.m_hFile), m_strPath(std::move(other.m_strPath)), m_nError(other.m_nError) {
    other.m_hFile = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_hFile != -1) ::CloseHandle(AsHandle(m_hFile));
        m_hFile = other.m_hFile;
        m_strPath = std::move(other.m_strPath);
        m_nError = other.m_nError;
        other.m_hFile = -1;
    }
    return *this;
}

bool File::Fail() {
    m_nError = static_cast<SystemError>(::GetLastError());
    return false;
}

bool File::OpenRead(const std::string& strPath) {
    m_strPath = strPath;
    // Others may read and even replace the file meanwhile, as on POSIX.
    const HANDLE h = ::CreateFileW(WidePath(strPath).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        m_nError = kNotARegularFile;
        return false;
    }
    m_hFile = reinterpret_cast<intptr_t>(h);
    return true;
}

bool File::CreateNew(const std::string& strPath) {
    m_strPath = strPath;
    // Delete sharing lets the file be renamed into place while it is still open.
    const HANDLE h =
        ::CreateFileW(WidePath(strPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    m_hFile = reinterpret_cast<intptr_t>(h);
    return true;
}

bool File::CreateTemp(const std::string& strFolder) {
    static std::atomic<unsigned> s_nCounter{0};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int nAttempt = 0; nAttempt < 64; ++nAttempt) {
        unsigned long long nSeed = ::GetTickCount64() * 2654435761ull +
                                   ::GetCurrentProcessId() * 40503ull + s_nCounter.fetch_add(1);
        std::string strName = ".qv-";
        for (int i = 0; i < 6; ++i, nSeed /= 36) strName += kDigits[nSeed % 36];
        const std::string strPath = strFolder.empty() ? strName : strFolder + "\\" + strName;
        if (CreateNew(strPath)) return true;
        if (m_nError != ERROR_FILE_EXISTS && m_nError != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool File::Size(uint64_t& nBytes) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(m_hFile), &size) || size.QuadPart < 0) return Fail();
    nBytes = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool File::Read(uint8_t* pBuffer, size_t nMax, size_t& nRead) {
    // ReadFile counts in 32 bits; callers ask again for the rest.
    const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(nMax, DWORD{1} << 30));
    DWORD nDone = 0;
    nRead = 0;
    if (!::ReadFile(AsHandle(m_hFile), pBuffer, nAsk, &nDone, nullptr)) return Fail();
    nRead = nDone;
    return true;
}

bool File::WriteAll(const void* p, size_t n) {
    const auto* pBytes = static_cast<const char*>(p);
    while (n > 0) {
        const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(n, DWORD{1} << 30));
        DWORD nDone = 0;
        if (!::WriteFile(AsHandle(m_hFile), pBytes, nAsk, &nDone, nullptr)) return Fail();
        if (nDone == 0) {
            m_nError = ERROR_DISK_FULL;
            return false;
        }
        pBytes += nDone;
        n -= nDone;
    }
    return true;
}

void File::StartWriteBack(uint64_t /*nOffset*/, uint64_t /*nBytes*/) {
    // Windows writes back on its own schedule; FlushFileBuffers at the end waits for the rest.
}

bool File::Truncate(uint64_t nBytes) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(nBytes);
    return (::SetFilePointerEx(AsHandle(m_hFile), position, nullptr, FILE_BEGIN) &&
            ::SetEndOfFile(AsHandle(m_hFile))) ||
           Fail();
}

bool File::Sync() {
    return ::FlushFileBuffers(AsHandle(m_hFile)) != 0 || Fail();
}

bool File::Close() {
    if (m_hFile == -1) return true;
    const HANDLE h = AsHandle(m_hFile);
    m_hFile = -1;
    return ::CloseHandle(h) != 0 || Fail();
}

SystemError RenameOver(const std::string& strFrom, const std::string& strTo) {
    // A read-only file is not replaced (some file systems would let the move through).
    const DWORD nAttributes = ::GetFileAttributesW(WidePath(strTo).c_str());
    if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // Write-through: the call returns only when the move is on the disk.
    if (::MoveFileExW(WidePath(strFrom).c_str(), WidePath(strTo).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return static_cast<SystemError>(::GetLastError());
}

SystemError RenameNoReplace(const std::string& strFrom, const std::string& strTo) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (::MoveFileExW(WidePath(strFrom).c_str(), WidePath(strTo).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    return static_cast<SystemError>(::GetLastError());
}

bool IsNameTaken(SystemError nError) {
    return nError == ERROR_ALREADY_EXISTS || nError == ERROR_FILE_EXISTS;
}

void RemoveFile(const std::string& strPath) {
    ::DeleteFileW(WidePath(strPath).c_str());
}

SystemError CreateFolders(const std::string& strPath) {
    for (size_t nEnd = 1; nEnd <= strPath.size(); ++nEnd) {
        if (nEnd < strPath.size() && strPath[nEnd] != '/' && strPath[nEnd] != '\\') continue;
        // "C:" and a share's first parts are no folders to make.
        const std::string strFolder = strPath.substr(0, nEnd);
        if (strFolder.back() == ':' || strFolder.find_first_not_of("\\/") == std::string::npos) {
            continue;
        }
        if (!::CreateDirectoryW(WidePath(strFolder).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS && nEnd == strPath.size()) {
            return static_cast<SystemError>(::GetLastError());
        }
    }
    const DWORD nAttributes = ::GetFileAttributesW(WidePath(strPath).c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES) return static_cast<SystemError>(::GetLastError());
    return (nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
}

bool ListFolder(const std::string& strPath, std::vector<std::string>& names) {
    names.clear();
    WIN32_FIND_DATAW data;
    const HANDLE h =
        ::FindFirstFileW(WidePath((strPath.empty() ? "." : strPath) + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string strName = NarrowToUtf8(data.cFileName);
        if (strName != "." && strName != "..") names.push_back(strName);
    } while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return true;
}

void OpenClosedStandardStreams() {
    // Handles do not reuse the numbers of closed standard streams here: nothing to guard.
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::GetCurrentProcessId());
}

void SyncFolder(const std::string& /*strPath*/) {
    // NTFS journals its folder entries, and the moves above are written through.
}

bool PathExists(const std::string& strPath) {
    return ::GetFileAttributesW(WidePath(strPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ResolveLinks(const std::string& strPath) {
    // Windows replaces the link itself only through explicit reparse-point calls; a plain
    // MoveFileEx over a symbolic link's name replaces the link, so follow it as POSIX does.
    const HANDLE h = ::CreateFileW(WidePath(strPath).c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return strPath;
    std::wstring final(32768, L'\0');
    const DWORD nLen = ::GetFinalPathNameByHandleW(
        h, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    ::CloseHandle(h);
    if (nLen == 0 || nLen >= final.size()) return strPath;
    final.resize(nLen);
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        final = L"\\\\" + final.substr(8);
    } else if (final.rfind(L"\\\\?\\", 0) == 0) {
        final = final.substr(4);
    }
    const std::string strFinal = NarrowToUtf8(final);
    // Only a link changes the name; otherwise keep the user's spelling.
    const DWORD nAttributes = ::GetFileAttributesW(WidePath(strPath).c_str());
    return (nAttributes != INVALID_FILE_ATTRIBUTES &&
            (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
               ? strFinal
               : strPath;
}

std::string FolderOf(const std::string& strPath) {
    const size_t nSep = strPath.find_last_of("\\/");
    if (nSep == std::string::npos) return {};
    if (nSep == 0 || (nSep == 2 && strPath[1] == ':')) return strPath.substr(0, nSep + 1);
    return strPath.substr(0, nSep);
}

void CopyPermissions(const std::string& /*strModel*/, File& /*file*/) {
    // Windows keeps no mode bits; a read-only target refuses the replacement itself.
}

bool ReadModificationTime(const std::string& strPath, FileTime& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(WidePath(strPath).c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    time =
        static_cast<FileTime>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                              data.ftLastWriteTime.dwLowDateTime);
    return true;
}

void SetModificationTime(File& file, FileTime time) {
    if (!file.IsOpen()) return;
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(time) & 0xFFFFFFFFu);
    written.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(time) >> 32);
    ::SetFileTime(AsHandle(file.Handle()), nullptr, nullptr, &written);
}
