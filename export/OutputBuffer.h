#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

// A large output buffer that writers format straight into. Subclasses decide where full buffers go.
// Errors are sticky: once a flush fails, later output is dropped and Failed() stays true.
class OutputBuffer {
  public:
    static constexpr size_t kDefaultCapacity = size_t{1} << 20;

    explicit OutputBuffer(size_t nCapacity = kDefaultCapacity);
    virtual ~OutputBuffer() = default;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Room for at least n bytes at the returned pointer (n at most the capacity); Commit() the
    // bytes actually written there.
    char* Reserve(size_t n) {
        if (m_nCapacity - m_nUsed < n) Flush();
        return m_pBuffer.get() + m_nUsed;
    }
    void Commit(char* pEnd) { m_nUsed = static_cast<size_t>(pEnd - m_pBuffer.get()); }

    void Write(const char* p, size_t n);
    void Write(const std::string& s) { Write(s.data(), s.size()); }

    // Hands everything buffered to the destination.
    void Flush();
    bool Failed() const { return m_bFailed; }

  protected:
    // Delivers the first n bytes of the buffer; false on failure. A destination that finishes the
    // work later may swap in another buffer of the same capacity and keep this one meanwhile.
    virtual bool FlushBuffer(std::unique_ptr<char[]>& pBuffer, size_t n) = 0;
    size_t Capacity() const { return m_nCapacity; }

  private:
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nCapacity;
    size_t m_nUsed = 0;
    bool m_bFailed = false;
};

// Collects the output in memory; used where the bytes are needed as a string.
class StringOutput final : public OutputBuffer {
  public:
    explicit StringOutput(size_t nCapacity = 64 * 1024) : OutputBuffer(nCapacity) {}
    // Everything written so far.
    const std::string& Str() {
        Flush();
        return m_str;
    }

  protected:
    bool FlushBuffer(std::unique_ptr<char[]>& pBuffer, size_t n) override {
        m_str.append(pBuffer.get(), n);
        return true;
    }

  private:
    std::string m_str;
};
