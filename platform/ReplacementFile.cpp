#include "ReplacementFile.h"

#include "Signals.h"

bool ReplacementFile::Create(const std::string& strTarget) {
    Discard();
    m_nError = 0;
    m_strTarget = ResolveLinks(strTarget);
    if (!m_file.CreateTemp(FolderOf(m_strTarget))) {
        m_nError = m_file.Error();
        return false;
    }
    m_strTemp = m_file.Path();
    RegisterTempFile(m_strTemp);
    return true;
}

bool ReplacementFile::Commit() {
    if (m_strTemp.empty()) return false;
    bool bOk = m_file.IsOpen();
    if (bOk) {
        CopyPermissions(m_strTarget, m_file);
        FileTime modified = 0;
        if (m_bKeepTime && ReadModificationTime(m_strTarget, modified)) {
            SetModificationTime(m_file, modified);
        }
        bOk = m_file.Sync() && m_file.Close();
        if (!bOk) m_nError = m_file.Error();
    }
    if (bOk) {
        m_nError = RenameOver(m_strTemp, m_strTarget);
        bOk = m_nError == 0;
    }
    if (!bOk) {
        Discard();
        return false;
    }
    UnregisterTempFile(m_strTemp);
    m_strTemp.clear();
    return true;
}

std::string ReplacementFile::KeepAs(const std::string& strStem, const std::string& strEnd) {
    if (m_strTemp.empty()) return {};
    static_cast<void>(m_file.Close());
    std::string strKept;
    if (RenameToFreeName(m_strTemp, strStem, strEnd, strKept) != 0) strKept = m_strTemp;
    UnregisterTempFile(m_strTemp);
    m_strTemp.clear();
    return strKept;
}

void ReplacementFile::Discard() {
    if (m_strTemp.empty()) return;
    static_cast<void>(m_file.Close());
    UnregisterTempFile(m_strTemp);
    RemoveFile(m_strTemp);
    m_strTemp.clear();
}

SystemError RenameToFreeName(const std::string& strFrom, const std::string& strStem,
                             const std::string& strEnd, std::string& strTo) {
    SystemError nError = 0;
    for (int n = 1; n <= 9999; ++n) {
        strTo = strStem + (n > 1 ? "-" + std::to_string(n) : "") + strEnd;
        nError = RenameNoReplace(strFrom, strTo);
        if (!IsNameTaken(nError)) return nError;
    }
    return nError;
}
