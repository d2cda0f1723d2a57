#include "RawDownloadFile.h"

namespace {

// "track.dlg" -> "track.partial.dlg", then "track.partial-2.dlg" ... for a name not yet taken.
std::string FreePartialName(const std::string& strTarget) {
    const std::string strExt = ".dlg";
    const bool bDlg =
        strTarget.size() > strExt.size() &&
        strTarget.compare(strTarget.size() - strExt.size(), strExt.size(), strExt) == 0;
    const std::string strStem =
        bDlg ? strTarget.substr(0, strTarget.size() - strExt.size()) : strTarget;
    for (int n = 1; n < 100; ++n) {
        std::string strName =
            strStem + ".partial" + (n > 1 ? "-" + std::to_string(n) : "") + (bDlg ? strExt : "");
        if (!PathExists(strName)) return strName;
    }
    return {};
}

}  // namespace

bool RawDownloadFile::Create(const std::string& strTarget) {
    static_cast<void>(Close(false));
    m_strTarget = ResolveLinks(strTarget);
    m_strKept.clear();
    m_nBytes = 0;
    m_bWriteFailed = false;
    m_nError = 0;
    m_bReplacing = false;
    if (strTarget.empty()) return false;
    if (m_file.CreateNew(m_strTarget)) return true;
    if (!PathExists(m_strTarget)) {
        m_nError = m_file.Error();
        return false;
    }
    m_bReplacing = true;
    if (m_file.CreateTemp(FolderOf(m_strTarget))) return true;
    m_nError = m_file.Error();
    return false;
}

bool RawDownloadFile::Append(std::span<const uint8_t> records) {
    if (!m_file.IsOpen() || m_bWriteFailed) return false;
    if (records.empty()) return true;
    if (m_file.WriteAll(records.data(), records.size())) {
        m_nBytes += records.size();
        return true;
    }
    // A disk that filled up may have taken part of the block: back to whole records.
    m_bWriteFailed = true;
    m_nError = m_file.Error();
    static_cast<void>(m_file.Truncate(m_nBytes));
    return false;
}

bool RawDownloadFile::Close(bool bComplete) {
    if (!m_file.IsOpen()) return false;
    bool bOk = !m_bWriteFailed;
    if (bComplete && bOk) {
        if (m_bReplacing) CopyPermissions(m_strTarget, m_file);
        bOk = m_file.Sync();
    }
    if (!m_file.Close()) bOk = false;
    if (!bOk && m_nError == 0) m_nError = m_file.Error();
    if (!m_bReplacing) {
        m_strKept = m_strTarget;
        return bOk;
    }
    if (bComplete && bOk) {
        m_nError = RenameOver(m_file.Path(), m_strTarget);
        if (m_nError == 0) {
            m_strKept = m_strTarget;
            return true;
        }
        bOk = false;
    }
    // The file that was there stays as it was; what arrived is kept beside it.
    const std::string strPartial = m_nBytes > 0 ? FreePartialName(m_strTarget) : std::string();
    if (!strPartial.empty() && RenameOver(m_file.Path(), strPartial) == 0) {
        m_strKept = strPartial;
    } else if (m_nBytes > 0) {
        m_strKept = m_file.Path();
    } else {
        RemoveFile(m_file.Path());
    }
    return bOk;
}
