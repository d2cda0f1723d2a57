#pragma once

// Takes typed values from the front of a fuzzer's input; an exhausted input yields zeros, so
// every prefix of an input is itself a valid input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

class FuzzInput {
  public:
    FuzzInput(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

    bool Empty() const { return m_nSize == 0; }
    size_t Remaining() const { return m_nSize; }

    uint8_t Byte() {
        if (m_nSize == 0) return 0;
        const uint8_t b = *m_pData;
        ++m_pData;
        --m_nSize;
        return b;
    }

    std::span<const uint8_t> Bytes(size_t n) {
        if (n > m_nSize) n = m_nSize;
        const std::span<const uint8_t> bytes(m_pData, n);
        m_pData += n;
        m_nSize -= n;
        return bytes;
    }

    std::span<const uint8_t> Rest() { return Bytes(m_nSize); }

    // Text up to the next 0xFF byte (consumed) or the end.
    std::string_view Field() {
        size_t n = 0;
        while (n < m_nSize && m_pData[n] != 0xFF) ++n;
        const std::string_view text(reinterpret_cast<const char*>(m_pData), n);
        m_pData += n;
        m_nSize -= n;
        if (m_nSize > 0) Byte();
        return text;
    }

  private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

// An invariant that does not hold: report it and let the fuzzer record the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
