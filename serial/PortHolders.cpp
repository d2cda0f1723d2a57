#include "PortHolders.h"

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#endif

std::vector<PortHolder> FindPortHolders(const std::string& strDevicePath,
                                        const std::string& strProcRoot) {
    std::vector<PortHolder> holders;
#ifndef _WIN32
    struct stat device {};
    if (::stat(strDevicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return holders;
    DIR* pProc = ::opendir(strProcRoot.c_str());
    if (pProc == nullptr) return holders;
    while (const dirent* pEntry = ::readdir(pProc)) {
        const std::string strPid = pEntry->d_name;
        if (strPid.empty() || strPid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string strFds = strProcRoot + "/" + strPid + "/fd";
        DIR* pFds = ::opendir(strFds.c_str());
        if (pFds == nullptr) continue;  // another user's process: not ours to look at
        bool bHolds = false;
        while (const dirent* pFd = ::readdir(pFds)) {
            struct stat st {};
            if (pFd->d_name[0] == '.') continue;
            if (::stat((strFds + "/" + pFd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == device.st_rdev) {
                bHolds = true;
                break;
            }
        }
        ::closedir(pFds);
        if (!bHolds) continue;
        PortHolder holder;
        holder.nPid = std::stoi(strPid);
        std::ifstream comm(strProcRoot + "/" + strPid + "/comm");
        std::getline(comm, holder.strName);
        holders.push_back(holder);
    }
    ::closedir(pProc);
#else
    static_cast<void>(strDevicePath);
    static_cast<void>(strProcRoot);
#endif
    return holders;
}

std::string DescribePortHolders(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& holder : holders) {
        if (!text.empty()) text += "; ";
        text += (holder.strName.empty() ? std::string("a program") : holder.strName) + ", pid " +
                std::to_string(holder.nPid);
    }
    return text;
}
