#include "OutputBuffer.h"

OutputBuffer::OutputBuffer(size_t nCapacity)
    : m_pBuffer(std::make_unique<char[]>(nCapacity)), m_nCapacity(nCapacity) {}

void OutputBuffer::Write(const char* p, size_t n) {
    while (n > 0) {
        if (m_nUsed == m_nCapacity) Flush();
        const size_t nChunk = std::min(n, m_nCapacity - m_nUsed);
        std::memcpy(m_pBuffer.get() + m_nUsed, p, nChunk);
        m_nUsed += nChunk;
        p += nChunk;
        n -= nChunk;
    }
}

void OutputBuffer::Flush() {
    if (m_nUsed > 0 && !m_bFailed && !FlushBuffer(m_pBuffer, m_nUsed)) m_bFailed = true;
    m_nUsed = 0;
}
