#pragma once

// What most tests need: a private folder, file contents, records laid out by hand, generated
// tracks.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "TrackGenerator.h"

namespace fs = std::filesystem;

// A folder of its own for the running test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string strTest = info ? info->name() : "none";
        m_dir = fs::temp_directory_path() /
                ("quorvel-test-" + std::to_string(std::hash<std::string>{}(strTest) % 100000) +
                 "-" + std::to_string(reinterpret_cast<uintptr_t>(this) % 100000));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    ~TempDir() {
        std::error_code error;
        fs::remove_all(m_dir, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& strName) const { return (m_dir / strName).string(); }
    const fs::path& Path() const { return m_dir; }

  private:
    fs::path m_dir;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

// One fix record as the logger stores it, laid out here by hand (little-endian fields at their
// offsets), not by the decoder under test.
struct Rec {
    uint32_t dwTime = 0;
    int32_t lLat = 25033000;
    int32_t lLon = 121565400;
    uint16_t wAlt = 12;
    uint16_t wSpeed = 1234;
    uint8_t bFix = 2;  // raw fix mode 0..3
    uint8_t bSats = 7;
    uint8_t bCourse = 45;
    uint8_t bHdop = 9;
};

inline std::string Records(const std::vector<Rec>& records) {
    std::string b;
    const auto put = [&b](uint64_t v, int nBytes) {
        for (int i = 0; i < nBytes; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    for (const Rec& r : records) {
        put(r.dwTime, 4), put(uint32_t(r.lLat), 4), put(uint32_t(r.lLon), 4), put(r.wAlt, 2);
        put(r.wSpeed, 2), put(uint64_t(r.bFix << 6 | r.bSats), 1), put(r.bCourse, 1);
        put(r.bHdop, 1), put(0, 1);
    }
    return b;
}

inline std::string GeneratedMemory(uint32_t nRecords, uint32_t nSeed = 7) {
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    options.nSeed = nSeed;
    const std::vector<uint8_t> bytes = GenerateTrack(options);
    return {bytes.begin(), bytes.end()};
}

inline std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Whether text holds part; when it does not, the text is shown: EXPECT_TRUE(Has(out, "OK.")).
inline ::testing::AssertionResult Has(std::string_view text, std::string_view part) {
    if (text.find(part) != std::string_view::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

inline size_t CountOf(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}
