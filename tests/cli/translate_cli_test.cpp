// quorvel-cli info and translate, run as a program on the sample log and on broken inputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
const std::string kSample = std::string(QUORVEL_SOURCE_DIR) + "/samples/sample.dlg";

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel-cli-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs a shell command line with the program's output captured.
    RunResult Shell(const std::string& line) {
        const fs::path out = m_dir / "stdout.txt";
        const fs::path err = m_dir / "stderr.txt";
        const int rc =
            std::system((line + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Read(out), Read(err)};
    }
    // The machine's own zone is GMT+8:00 for these runs: the default zone is the system's.
    RunResult Cli(const std::string& args, const std::string& env = "") {
        return Shell("TZ=Etc/GMT-8 " + env + " '" + kCli + "' " + args);
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Translate(const std::string& out, const std::string& extra = "") {
        const RunResult r = Cli("translate '" + kSample + "' -o '" + Path(out) + "' " + extra);
        EXPECT_EQ(r.status, 0) << r.err;
        return Read(Path(out));
    }
    void WriteBytes(const std::string& name, size_t n) {
        std::ofstream(Path(name), std::ios::binary) << std::string(n, '\x01');
    }

    fs::path m_dir;
};

TEST_F(CliTest, InfoShowsTheTwoLabels) {
    RunResult r = Cli("info '" + kSample + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Time: 2009/05/01 23:30:00 ~ 2009/05/02 00:19:55\nSize(Record): 600\n"
              "Times in local (Etc/GMT-8).\n");
    r = Cli("info '" + kSample + "' --tz UTC");
    EXPECT_EQ(r.out,
              "Time: 2009/05/01 15:30:00 ~ 2009/05/01 16:19:55\nSize(Record): 600\n"
              "Times in GMT+0:00.\n");
    r = Cli("info '" + kSample + "' --tz GMT-3:30");
    EXPECT_EQ(r.out,
              "Time: 2009/05/01 12:00:00 ~ 2009/05/01 12:49:55\nSize(Record): 600\n"
              "Times in GMT-3:30.\n");
    r = Cli("info '" + kSample + "' --tz Mars");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Unknown time zone"), std::string::npos);
}

TEST_F(CliTest, WholeSampleToKmlAndCsvThatRealReadersAccept) {
    const RunResult r =
        Cli("translate '" + kSample + "' --all --keep-nofix -o '" + Path("all.kml") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Translate OK.\n600 of 600 records written to " + Path("all.kml") +
                         "\nTimes in local (Etc/GMT-8).\n");
    const std::string kml = Read(Path("all.kml"));
    EXPECT_EQ(CountOf(kml, "<Placemark>"), 600u);
    EXPECT_TRUE(kml.ends_with("</Document>\r\n</kml>"));

    const std::string csv = Translate("all.csv", "--all --keep-nofix");
    EXPECT_EQ(CountOf(csv, "\r\n"), 601u);
    EXPECT_EQ(CountOf(csv, "\n"), 601u);  // no bare line feeds

    if (HaveTool("xmllint")) {
        EXPECT_EQ(Shell("xmllint --noout '" + Path("all.kml") + "'").status, 0);
    }
    if (HaveTool("ogrinfo")) {
        const RunResult k = Shell("ogrinfo -ro -al -so '" + Path("all.kml") + "'");
        EXPECT_NE(k.out.find("Feature Count: 600"), std::string::npos) << k.out << k.err;
        // GDAL's CSV reader finds the ten named columns on every line.
        const RunResult c = Shell("ogrinfo -ro -al '" + Path("all.csv") + "'");
        EXPECT_NE(c.out.find("Feature Count: 600"), std::string::npos) << c.out << c.err;
        for (const char* column :
             {"Local time (String)", "GPS time (String)", "Fix mode (String)", "SV used (String)",
              "Latitude (String)", "Longitude (String)", "Altitude (String)", "Speed (String)",
              "Course (String)", "HDOP (String)"}) {
            EXPECT_NE(c.out.find(column), std::string::npos) << column;
        }
        // GDAL keeps the formula's equals sign and drops the quotes around the value.
        EXPECT_NE(c.out.find("  Local time (String) = =2009-05-01 23:30:00\n  GPS time (String) = "
                             "=2009-05-01 15:30:00\n  Fix mode (String) = =3\n"),
                  std::string::npos);
        EXPECT_NE(c.out.find("  Speed (String) = =31.97 Km/h\n  Course (String) = =218\n"
                             "  HDOP (String) = =1.0\n"),
                  std::string::npos);
    }
}

TEST_F(CliTest, OutputDoesNotDependOnTheLocale) {
    const std::string plain = Translate("plain.kml", "--all");
    const RunResult r = Cli("translate '" + kSample + "' --all -o '" + Path("de.kml") + "'",
                            "LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(Path("de.kml")), plain);
    EXPECT_NE(plain.find("<b>Latitude:</b> 25.0"), std::string::npos);
    const std::string csv = Translate("plain.csv");
    ASSERT_EQ(Cli("translate '" + kSample + "' -o '" + Path("de.csv") + "'",
                  "LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8")
                  .status,
              0);
    EXPECT_EQ(Read(Path("de.csv")), csv);
}

TEST_F(CliTest, TxtGetsTheCsvBytes) {
    EXPECT_EQ(Translate("a.txt", "--keep-nofix"), Translate("a.csv", "--keep-nofix"));
}

TEST_F(CliTest, TimeWindowIsLocalTimeInTheChosenZone) {
    // At GMT+8:00 the minute before local midnight is 15:59:00..16:00:00 GPS time: 13 records.
    const std::string window =
        "--from '2009-05-01 23:59:00' --to '2009-05-02 00:00:00' --keep-nofix";
    std::string csv = Translate("w.csv", window);
    EXPECT_EQ(CountOf(csv, "\r\n"), 14u);
    EXPECT_NE(csv.find("=\"2009-05-01 23:59:00\",=\"2009-05-01 15:59:00\""), std::string::npos);
    EXPECT_NE(csv.find("=\"2009-05-02 00:00:00\",=\"2009-05-01 16:00:00\""), std::string::npos);
    // The bounds given the other way round select the same records.
    EXPECT_EQ(Translate("swapped.csv",
                        "--from '2009-05-02 00:00:00' --to '2009-05-01 23:59:00' --keep-nofix"),
              csv);
    // The same picker values in another zone select another stretch: none here.
    csv = Translate("utc.csv", window + " --tz UTC");
    EXPECT_EQ(CountOf(csv, "\r\n"), 1u);
}

TEST_F(CliTest, RecordCountFromAStart) {
    const std::string from = "--from '2009-05-02 00:00:00' --keep-nofix ";
    std::string csv = Translate("three.csv", from + "--records 3");
    EXPECT_EQ(CountOf(csv, "\r\n"), 4u);
    EXPECT_NE(csv.find("=\"2009-05-01 16:00:10\""), std::string::npos);
    // 0, text and negative numbers set no effective limit: all 240 records from the start.
    for (const char* records : {"--records 0", "--records abc", "--records=-3", "--records ''"}) {
        csv = Translate("n.csv", from + records);
        EXPECT_EQ(CountOf(csv, "\r\n"), 241u) << records;
    }
    // By Size ignores the end bound.
    csv = Translate("end.csv", from + "--records 2 --to '2009-05-01 23:30:00'");
    EXPECT_EQ(CountOf(csv, "\r\n"), 3u);
}

TEST_F(CliTest, FailuresSayWhyAndWriteNothing) {
    WriteBytes("empty.dlg", 0);
    WriteBytes("odd.dlg", 41);
    struct Case {
        std::string args;
        std::string message;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"'" + kSample + "' -o '" + Path("noext") + "'", "Unknown file format.", "noext"},
        {"'" + kSample + "' -o '" + Path("a.KML") + "'",
         "File format not supported.\nquorvel-cli: Supported: .kml", "a.KML"},
        {"'" + kSample + "' -o '" + Path("a.gpz") + "'", "File format not supported.", "a.gpz"},
        {"'" + kSample + "' -o '" + Path("missing/a.kml") + "'",
         "Can't generate output file.\nquorvel-cli: " + Path("missing/a.kml") +
             ": No such file or directory",
         ""},
        {"'" + Path("empty.dlg") + "' -o '" + Path("e.kml") + "'", "No valid GPS data in raw file.",
         "e.kml"},
        {"'" + Path("odd.dlg") + "' -o '" + Path("o.kml") + "'", "Error data in raw file.",
         "o.kml"},
        {"'" + Path("none.dlg") + "' -o '" + Path("n.kml") + "'",
         "Can't open raw data file.\nquorvel-cli: " + Path("none.dlg") + ": No such file", "n.kml"},
        {"'" + m_dir.string() + "' -o '" + Path("d.kml") + "'",
         "Can't open raw data file.\nquorvel-cli: " + m_dir.string() + ": Is a directory", "d.kml"},
        {"'" + kSample + "' -o '" + Path("t.kml") + "' --from 2009-13-01", "Invalid --from time",
         "t.kml"},
        {"'" + kSample + "' -o '" + Path("t.kml") + "' --tz GMT+99", "Unknown time zone", "t.kml"},
    };
    for (const Case& c : cases) {
        const RunResult r = Cli("translate " + c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(r.out.find("Translate OK."), std::string::npos) << c.args;
        if (!c.output.empty()) {
            EXPECT_FALSE(fs::exists(Path(c.output))) << c.output;
        }
    }
}

// A FIFO (or any file whose open would wait) is refused at once, not waited on for ever.
TEST_F(CliTest, AFifoIsNoRawLogAndNothingHangs) {
    ASSERT_EQ(::mkfifo(Path("pipe.dlg").c_str(), 0600), 0);
    for (const std::string& command : {std::string("info"), std::string("translate")}) {
        const RunResult r =
            Shell("timeout 20 '" + kCli + "' " + command + " '" + Path("pipe.dlg") + "'" +
                  (command == "translate" ? " -o '" + Path("p.csv") + "'" : ""));
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("Can't open raw data file.\nquorvel-cli: " + Path("pipe.dlg") +
                             ": not a regular file"),
                  std::string::npos)
            << r.err;
    }
}

// Names up to the file system's limit work: the temporary name is short whatever the target's.
TEST_F(CliTest, AnOutputNameOfTwoHundredFiftyFiveBytes) {
    const std::string name = std::string(251, 'n') + ".csv";
    EXPECT_EQ(Translate(name).substr(0, 10), "Local time");
}

// Written through a symbolic link: the link stays, the file it names gets the output with the
// permission bits it had.
TEST_F(CliTest, ALinkStaysALinkAndTheFileKeepsItsMode) {
    std::ofstream(Path("real.csv")) << "old";
    fs::permissions(Path("real.csv"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.csv", Path("link.csv"));
    const std::string csv = Translate("link.csv");
    EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
    EXPECT_EQ(Read(Path("real.csv")).substr(0, 10), "Local time");
    EXPECT_EQ(fs::status(Path("real.csv")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A start in the first hours of 2000 east of GMT lies before the record scale: it is the scale's
// first second, so the window reaches from there to the end (61 records at 5 s up to 23:35:00),
// not, wrapped and swapped, from the end onwards.
TEST_F(CliTest, ABoundBeforeTheRecordScaleIsItsFirstSecond) {
    const std::string csv = Translate(
        "early.csv", "--from '2000-01-01 00:00:00' --to '2009-05-01 23:35:00' --keep-nofix");
    EXPECT_EQ(CountOf(csv, "\r\n"), 62u);
    EXPECT_NE(csv.find("=\"2009-05-01 23:35:00\""), std::string::npos);
}

// Ctrl-C, SIGTERM or SIGHUP during a translation: the program ends with the signal's status and
// leaves no temporary file; the earlier output stays.
TEST_F(CliTest, AStopSignalLeavesNoTemporaryFile) {
    {
        const std::string sample = Read(kSample);
        std::ofstream big(Path("big.dlg"), std::ios::binary);
        for (int i = 0; i < 8000; ++i) big << sample;  // 4.8 million records
    }
    std::ofstream(Path("out.kml")) << "earlier";
    for (const auto& [signal, status] :
         {std::pair{"INT", "130"}, std::pair{"TERM", "143"}, std::pair{"HUP", "129"}}) {
        const RunResult r = Shell("'" + kCli + "' translate --all '" + Path("big.dlg") + "' -o '" +
                                  Path("out.kml") + "' & pid=$!; sleep 0.4; kill -" + signal +
                                  " $pid; wait $pid; echo status $?");
        EXPECT_EQ(r.out, std::string("status ") + status + "\n") << signal;
        EXPECT_EQ(Read(Path("out.kml")), "earlier") << signal;
        for (const auto& e : fs::directory_iterator(m_dir)) {
            EXPECT_NE(e.path().filename().string().rfind(".qv-", 0), 0u) << e.path();
        }
    }
}

TEST_F(CliTest, AFullDiskKeepsTheExistingOutput) {
    std::ofstream(Path("keep.kml"), std::ios::binary) << "earlier translation";
    // A file size limit stands in for a full disk; the ignored signal makes writes fail instead.
    const RunResult r = Shell("trap '' XFSZ; ulimit -f 8; '" + kCli + "' translate '" + kSample +
                              "' --all -o '" + Path("keep.kml") + "'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Can't generate output file."), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Translate OK."), std::string::npos);
    EXPECT_EQ(Read(Path("keep.kml")), "earlier translation");
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(m_dir)) {
        files += e.path().extension() != ".txt";  // all but the captured output
    }
    EXPECT_EQ(files, 1u);
}

}  // namespace

namespace {

TEST_F(CliTest, TheCommittedSampleIsWhatItsGeneratorMakes) {
    const std::string made = Path("made.dlg");
    ASSERT_EQ(
        Shell("'" + std::string(QUORVEL_BINARY_DIR) + "/tools/make_sample_log' '" + made + "'")
            .status,
        0);
    EXPECT_EQ(Read(made), Read(kSample));
    // A realistic log: some records without a fix, most with one.
    const std::string csv = Translate("fix.csv", "--all --keep-nofix");
    const size_t noFix = CountOf(csv, "\",=\"1\",=\"");
    EXPECT_GT(noFix, 0u);
    EXPECT_LT(noFix, 60u);
}

}  // namespace
