#pragma once

#include <string>

#include "app/SettingsStore.h"

// The window's choices in an INI file, section [Window]: by default quorvel.ini in the user's
// application-data folder (%APPDATA%\Quorvel), which is made when first written.
class IniSettingsStore final : public SettingsStore {
  public:
    IniSettingsStore();
    explicit IniSettingsStore(std::wstring path) : m_path(std::move(path)) {}

    std::optional<std::string> Read(const std::string& strKey) const override;
    void Write(const std::string& strKey, const std::string& strValue) override;
    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
};
