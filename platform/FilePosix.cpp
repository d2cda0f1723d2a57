#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "File.h"

std::string SystemErrorText(SystemError nError) {
    if (nError == NotARegularFileError()) return "not a regular file";
    return std::strerror(nError);
}

SystemError NotARegularFileError() {
    return -1;
}

void OpenClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is fd itself.
        const int nNull = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (nNull != -1 && nNull != fd) {
            ::dup2(nNull, fd);
            ::close(nNull);
        }
    }
}

File::~File() {
    if (m_hFile != -1) ::close(static_cast<int>(m_hFile));
}

File::File(File&& other) noexcept
    : m_hFile(other.m_hFile), m_strPath(std::move(other.m_strPath)), m_nError(other.m_nError) {
    other.m_hFile = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_hFile != -1) ::close(static_cast<int>(m_hFile));
        m_hFile = other.m_hFile;
        m_strPath = std::move(other.m_strPath);
        m_nError = other.m_nError;
        other.m_hFile = -1;
    }
    return *this;
}

bool File::Fail() {
    m_nError = errno;
    return false;
}

bool File::OpenRead(const std::string& strPath) {
    m_strPath = strPath;
    // Without O_NONBLOCK a FIFO's open waits for a writer that may never come.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Fail();
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Fail();
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        m_nError = S_ISDIR(st.st_mode) ? EISDIR : NotARegularFileError();
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_hFile = fd;
    return true;
}

bool File::CreateNew(const std::string& strPath) {
    m_strPath = strPath;
    // 0666 before the umask: the permissions of any plainly created file.
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fail();
    m_hFile = fd;
    return true;
}

bool File::CreateTemp(const std::string& strFolder) {
    std::string strTemplate = strFolder.empty() ? std::string() : strFolder + "/";
    strTemplate += ".qv-XXXXXX";
    std::vector<char> name(strTemplate.begin(), strTemplate.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    m_strPath = name.data();
    if (fd < 0) return Fail();
    // mkstemp makes it 0600; a finished output should get what any new file gets.
    const mode_t nMask = ::umask(0);
    ::umask(nMask);
    ::fchmod(fd, 0666 & ~nMask);
    m_hFile = fd;
    return true;
}

bool File::Size(uint64_t& nBytes) {
    struct stat st {};
    if (::fstat(static_cast<int>(m_hFile), &st) != 0) return Fail();
    nBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::Read(uint8_t* pBuffer, size_t nMax, size_t& nRead) {
    nRead = 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_hFile), pBuffer, nMax);
        if (n >= 0) {
            nRead = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) return Fail();
    }
}

bool File::WriteAll(const void* p, size_t n) {
    const auto* pBytes = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t nDone = ::write(static_cast<int>(m_hFile), pBytes, n);
        if (nDone < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        pBytes += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

void File::StartWriteBack(uint64_t nOffset, uint64_t nBytes) {
#ifdef __linux__
    static_cast<void>(::sync_file_range(static_cast<int>(m_hFile), static_cast<off_t>(nOffset),
                                        static_cast<off_t>(nBytes), SYNC_FILE_RANGE_WRITE));
#else
    static_cast<void>(nOffset);
    static_cast<void>(nBytes);
#endif
}

bool File::Truncate(uint64_t nBytes) {
    return ::ftruncate(static_cast<int>(m_hFile), static_cast<off_t>(nBytes)) == 0 || Fail();
}

bool File::Sync() {
    return ::fsync(static_cast<int>(m_hFile)) == 0 || Fail();
}

bool File::Close() {
    if (m_hFile == -1) return true;
    const int fd = static_cast<int>(m_hFile);
    m_hFile = -1;
    return ::close(fd) == 0 || Fail();
}

SystemError RenameOver(const std::string& strFrom, const std::string& strTo) {
    return ::rename(strFrom.c_str(), strTo.c_str()) == 0 ? 0 : errno;
}

SystemError RenameNoReplace(const std::string& strFrom, const std::string& strTo) {
    if (::renameat2(AT_FDCWD, strFrom.c_str(), AT_FDCWD, strTo.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a second name that cannot already exist, then the first
    // name goes.
    if (::link(strFrom.c_str(), strTo.c_str()) == 0) {
        ::unlink(strFrom.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // Neither (FAT, some network file systems): look, then move. Only this program names files
    // there, so the gap between the two is harmless.
    if (PathExists(strTo)) return EEXIST;
    return RenameOver(strFrom, strTo);
}

bool IsNameTaken(SystemError nError) {
    return nError == EEXIST;
}

void RemoveFile(const std::string& strPath) {
    ::unlink(strPath.c_str());
}

SystemError CreateFolders(const std::string& strPath) {
    // The folders above first; those already there are fine, and a failure among them shows in
    // the last one's.
    for (size_t nSlash = strPath.find('/', 1); nSlash != std::string::npos;
         nSlash = strPath.find('/', nSlash + 1)) {
        ::mkdir(strPath.substr(0, nSlash).c_str(), 0777);
    }
    if (::mkdir(strPath.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool ListFolder(const std::string& strPath, std::vector<std::string>& names) {
    names.clear();
    DIR* pDir = ::opendir(strPath.empty() ? "." : strPath.c_str());
    if (pDir == nullptr) return false;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..") names.push_back(strName);
    }
    ::closedir(pDir);
    return true;
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

void SyncFolder(const std::string& strPath) {
    const int fd =
        ::open(strPath.empty() ? "." : strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool PathExists(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0;
}

std::string ResolveLinks(const std::string& strPath) {
    std::string strCurrent = strPath;
    // A loop of links ends here rather than never.
    for (int nHops = 0; nHops < 40; ++nHops) {
        struct stat st {};
        if (::lstat(strCurrent.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return strCurrent;
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(strCurrent.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return strCurrent;
        std::string strTarget(target.data(), static_cast<size_t>(n));
        // A relative link is relative to the folder holding it.
        if (strTarget.front() != '/') {
            const std::string strFolder = FolderOf(strCurrent);
            if (!strFolder.empty()) strTarget = strFolder + "/" + strTarget;
        }
        strCurrent = strTarget;
    }
    return strCurrent;
}

std::string FolderOf(const std::string& strPath) {
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos) return {};
    return nSlash == 0 ? std::string("/") : strPath.substr(0, nSlash);
}

void CopyPermissions(const std::string& strModel, File& file) {
    struct stat st {};
    if (::stat(strModel.c_str(), &st) != 0 || !file.IsOpen()) return;
    const int fd = static_cast<int>(file.Handle());
    // Owner first: changing it may clear the set-id bits, which the mode then puts back.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), st.st_gid));
    }
    ::fchmod(fd, st.st_mode & 07777);
}

bool ReadModificationTime(const std::string& strPath, FileTime& time) {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) return false;
    time = static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

void SetModificationTime(File& file, FileTime time) {
    if (!file.IsOpen()) return;
    // The access time is left as it is.
    const struct timespec times[2] = {
        {0, UTIME_OMIT},
        {static_cast<time_t>(time / 1000000000), static_cast<long>(time % 1000000000)}};
    ::futimens(static_cast<int>(file.Handle()), times);
}
