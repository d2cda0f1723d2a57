#pragma once

#include <string>
#include <vector>

// The programs that have a device open, as far as this process may look (Linux: /proc/*/fd).
struct PortHolder {
    int nPid = 0;
    std::string strName;  // the program's name
};

std::vector<PortHolder> FindPortHolders(const std::string& strDevicePath,
                                        const std::string& strProcRoot = "/proc");

// "quorvel-cli, pid 4711; gpsd, pid 812"; empty when nobody is known.
std::string DescribePortHolders(const std::vector<PortHolder>& holders);
