#include "CommandTable.h"

#include <string>
#include <vector>

namespace {

// "TEXT" of "TEXT:FILE": the value's kind without its validators.
std::string ValueType(const CLI::Option& option) {
    const std::string strType = option.get_type_name();
    return strType.substr(0, strType.find(':'));
}

void PrintCommand(const CLI::App& app, const std::string& strPath, std::FILE* pOut) {
    std::string strSubcommands, strFlags, strOptions, strPositionals;
    const auto append = [](std::string& strList, const std::string& strWord) {
        strList += (strList.empty() ? "" : " ") + strWord;
    };
    const auto visible = [](const auto* p) { return !p->get_group().empty(); };
    for (const CLI::App* pSub : app.get_subcommands(visible))
        append(strSubcommands, pSub->get_name());
    for (const CLI::Option* pOption : app.get_options(visible)) {
        if (!pOption->nonpositional()) {
            append(strPositionals, pOption->get_name(true) + "=" + ValueType(*pOption));
            continue;
        }
        std::vector<std::string> names;
        for (const std::string& strShort : pOption->get_snames()) names.push_back("-" + strShort);
        for (const std::string& strLong : pOption->get_lnames()) names.push_back("--" + strLong);
        const bool bFlag = pOption->get_expected_max() == 0;
        for (const std::string& strName : names) {
            append(bFlag ? strFlags : strOptions,
                   bFlag ? strName : strName + "=" + ValueType(*pOption));
        }
    }
    std::fprintf(pOut, "%s|%s|%s|%s|%s\n", strPath.c_str(), strSubcommands.c_str(),
                 strFlags.c_str(), strOptions.c_str(), strPositionals.c_str());
    for (const CLI::App* pSub : app.get_subcommands(visible)) {
        PrintCommand(*pSub, strPath + " " + pSub->get_name(), pOut);
    }
}

}  // namespace

void PrintCommandTable(const CLI::App& app, std::FILE* pOut) {
    PrintCommand(app, app.get_name(), pOut);
}
