#include "IniSettingsStore.h"

#include <windows.h>

#include <shlobj.h>

#include "platform/Text.h"

namespace {

constexpr wchar_t kSection[] = L"Window";
// Returned for a key that is not there; no value the window writes starts with it.
constexpr wchar_t kMissing[] = L"\x01";

}  // namespace

IniSettingsStore::IniSettingsStore() {
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(
            ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        m_path = std::wstring(folder) + L"\\Quorvel\\quorvel.ini";
    }
}

std::optional<std::string> IniSettingsStore::Read(const std::string& strKey) const {
    if (m_path.empty()) return std::nullopt;
    std::wstring value(4096, L'\0');
    const DWORD nLength =
        ::GetPrivateProfileStringW(kSection, WidenUtf8(strKey).c_str(), kMissing, value.data(),
                                   static_cast<DWORD>(value.size()), m_path.c_str());
    value.resize(nLength);
    if (value == kMissing) return std::nullopt;
    return NarrowToUtf8(value);
}

void IniSettingsStore::Write(const std::string& strKey, const std::string& strValue) {
    if (m_path.empty()) return;
    const size_t nSlash = m_path.find_last_of(L'\\');
    if (nSlash != std::wstring::npos) ::CreateDirectoryW(m_path.substr(0, nSlash).c_str(), nullptr);
    ::WritePrivateProfileStringW(kSection, WidenUtf8(strKey).c_str(), WidenUtf8(strValue).c_str(),
                                 m_path.c_str());
}
