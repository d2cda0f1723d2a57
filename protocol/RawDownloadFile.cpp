#include "RawDownloadFile.h"

namespace {

// "track.dlg" -> "track.partial" and ".dlg"; any other name keeps its whole self as the stem.
std::pair<std::string, std::string> PartialNameParts(const std::string& strTarget) {
    const std::string strExt = ".dlg";
    const bool bDlg =
        strTarget.size() > strExt.size() &&
        strTarget.compare(strTarget.size() - strExt.size(), strExt.size(), strExt) == 0;
    if (!bDlg) return {strTarget + kPartialMark, ""};
    return {strTarget.substr(0, strTarget.size() - strExt.size()) + kPartialMark, strExt};
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
    if (m_replacement.Create(m_strTarget)) return true;
    m_nError = m_replacement.Error();
    return false;
}

File& RawDownloadFile::Stream() {
    return m_bReplacing ? m_replacement.Temp() : m_file;
}

bool RawDownloadFile::Append(std::span<const uint8_t> records) {
    File& file = Stream();
    if (!file.IsOpen() || m_bWriteFailed) return false;
    if (records.empty()) return true;
    if (file.WriteAll(records.data(), records.size())) {
        m_nBytes += records.size();
        return true;
    }
    // A disk that filled up may have taken part of the block: back to whole records.
    m_bWriteFailed = true;
    m_nError = file.Error();
    static_cast<void>(file.Truncate(m_nBytes));
    return false;
}

bool RawDownloadFile::Close(bool bComplete) {
    if (!Stream().IsOpen()) return false;
    if (!m_bReplacing) {
        bool bOk = !m_bWriteFailed && (!bComplete || m_file.Sync());
        if (!m_file.Close()) bOk = false;
        if (!bOk && m_nError == 0) m_nError = m_file.Error();
        m_strKept = m_strTarget;
        return bOk;
    }
    if (bComplete && !m_bWriteFailed) {
        if (m_replacement.Commit()) {
            m_strKept = m_strTarget;
            return true;
        }
        if (m_nError == 0) m_nError = m_replacement.Error();
    }
    // The file that was there stays as it was; what arrived is kept beside it.
    if (m_nBytes > 0) {
        const auto [strStem, strEnd] = PartialNameParts(m_strTarget);
        m_strKept = m_replacement.KeepAs(strStem, strEnd);
    } else {
        m_replacement.Discard();
    }
    return !m_bWriteFailed && !bComplete;
}
