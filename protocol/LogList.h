#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

// The received-lines list: at most 500 entries; adding one more drops the oldest.
class LogList {
  public:
    static constexpr size_t kMaxEntries = 500;

    // Returns true when the oldest entry was dropped to make room.
    bool Add(std::string_view entry) {
        m_entries.emplace_back(entry);
        if (m_entries.size() <= kMaxEntries) return false;
        m_entries.pop_front();
        return true;
    }
    size_t Count() const { return m_entries.size(); }
    const std::string& Entry(size_t nIndex) const { return m_entries[nIndex]; }
    const std::string& Newest() const { return m_entries.back(); }

  private:
    std::deque<std::string> m_entries;
};
