#pragma once

#include <chrono>
#include <cstdint>

// A monotonic clock in milliseconds.
inline uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// A point in time a bounded wait must not pass.
class Deadline {
  public:
    explicit Deadline(uint32_t nMs)
        : m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs)) {}
    // Milliseconds left, 0 once passed.
    uint32_t RemainingMs() const {
        const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                               m_end - std::chrono::steady_clock::now())
                               .count();
        return nLeft > 0 ? static_cast<uint32_t>(nLeft) : 0;
    }
    bool Passed() const { return RemainingMs() == 0; }

  private:
    std::chrono::steady_clock::time_point m_end;
};
