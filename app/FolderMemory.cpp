#include "FolderMemory.h"

#include "platform/File.h"

namespace {

#ifdef _WIN32
constexpr char kPathSeparators[] = "\\/";  // Windows takes either
#else
constexpr char kPathSeparators[] = "/";
#endif

}  // namespace

std::string InitialFolderOf(const std::string& strPath) {
    const size_t nPos = strPath.find_last_of(kPathSeparators);
    if (nPos == std::string::npos) return strPath;
    return strPath.substr(0, nPos);
}

std::string StemOf(const std::string& strPath) {
    const size_t nSlash = strPath.find_last_of(kPathSeparators);
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot > 0) strName.resize(nDot);
    return strName;
}

void FolderMemory::RememberFolderOf(FolderUse use, const std::string& strPath) {
    if (!FolderOf(strPath).empty()) m_folders[Index(use)] = FolderOf(strPath);
}
