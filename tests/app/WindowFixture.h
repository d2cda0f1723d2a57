#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeDialogView.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "track/FixRecord.h"

// A started window over the fake view, with a private folder for the files a test needs.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                ("quorvel-app-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
                 info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        ASSERT_TRUE(m_dlg.OnInitDialog());
        m_view.m_log.clear();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string PathOf(const std::string& strName) const { return (m_dir / strName).string(); }

    std::string WriteBytes(const std::string& strName, const std::vector<uint8_t>& bytes) {
        const std::string strPath = PathOf(strName);
        std::ofstream(strPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return strPath;
    }

    static FixRecord Fix(uint32_t dwTime, unsigned nRawFixMode = 2) {
        FixRecord r{};
        r.dwTime = dwTime;
        r.lLatitude = 25033000;
        r.lLongitude = 121565400;
        r.wAltitude = 12;
        r.wSpeed = 1234;
        r.bFixSv = static_cast<uint8_t>(nRawFixMode << 6 | 7);
        r.bCourse = 45;
        r.bHdop = 9;
        return r;
    }

    std::string WriteLog(const std::string& strName, const std::vector<FixRecord>& records) {
        std::vector<uint8_t> bytes(records.size() * kFixRecordSize);
        for (size_t i = 0; i < records.size(); ++i) {
            EncodeFixRecord(records[i], bytes.data() + i * kFixRecordSize);
        }
        return WriteBytes(strName, bytes);
    }

    static std::string ReadFile(const std::string& strPath) {
        std::ifstream in(strPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Loads a file the way OPEN existing file does, with the dialog answering strPath.
    void OpenFile(const std::string& strPath) {
        m_view.m_fileAnswers.push_back(strPath);
        m_dlg.OnOpenFile();
    }

    static PickerTime Picker(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi,
                             uint16_t s) {
        PickerTime t;
        t.wYear = y;
        t.wMonth = mo;
        t.wDay = d;
        t.wHour = h;
        t.wMinute = mi;
        t.wSecond = s;
        return t;
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : m_view.m_boxes) texts.push_back(box.strHead);
        return texts;
    }

    FakeDialogView m_view;
    std::vector<SerialPortInfo> m_ports;  // what the port scan finds
    CQuorvelDlg m_dlg{m_view, [this] { return m_ports; }};
    std::filesystem::path m_dir;
};
