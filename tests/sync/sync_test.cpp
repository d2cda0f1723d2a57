// quorvel-cli sync against quorvel-sim processes (the logger is erased only after a complete,
// verified, written download; every fault before that leaves its memory as it was), and merge,
// translate --split, the filters and info --days on hand-laid raw logs. Distances by hand: 0.01
// degree of longitude on the equator is 6371 km x pi / 18000 = 1.11195 km.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/common/Programs.h"

namespace {

const std::string kSchemas = std::string(QUORVEL_SOURCE_DIR) + "/tests/data/schemas/";
// The sample's first and last fix in UTC.
const std::string kStem = "20090501T153000Z-20090501T161955Z";
constexpr uint32_t kMay1 = 294451200;  // 2009-05-01 00:00:00 UTC

// Every file of a folder with its bytes ("/" for a folder).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = fs::is_regular_file(e) ? ReadFile(e.path()) : "/";
    return files;
}

// quorvel-cli, through the shell when there is a prefix (ulimit); output and errors together.
RunResult Cli(std::vector<std::string> args, const std::string& prefix = "") {
    std::string line = prefix.empty() ? "exec" : "trap '' XFSZ; " + prefix + "; exec";
    args.insert(args.begin(), kCli);
    for (const std::string& arg : args) line += " '" + arg + "'";
    return Shell(line + " 2>&1");
}

std::vector<std::string> Sync(const SimProcess& sim, const TempDir& dir,
                              std::vector<std::string> extra) {
    std::vector<std::string> args = {"sync",          "--port", sim.Port(), "--archive",
                                     dir / "archive", "--tz",   "UTC"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The logger's memory, downloaded anew.
std::string DownloadAgain(const SimProcess& sim, const TempDir& dir) {
    fs::remove(dir / "again.dlg");
    const RunResult r = Cli({"download", "--port", sim.Port(), "-o", dir / "again.dlg"});
    EXPECT_EQ(r.nStatus, 0) << r.strOut;
    return ReadFile(dir / "again.dlg");
}

TEST(Sync, StoresOnceWritesTheFilesAndErasesOnlyAtTheEnd) {
    TempDir dir;
    const fs::path archive = dir.Path() / "archive";
    SimProcess sim({"--file", kSample, "--no-pace"});
    // Another file has the name already: it stays, the download takes the next name.
    fs::create_directories(archive);
    WriteFile(archive / (kStem + ".dlg"), "an earlier file");
    RunResult r = Cli(Sync(sim, dir, {"--gpx", "--kml-track", "--csv"}));
    ASSERT_EQ(r.nStatus, 0) << r.strOut;
    EXPECT_EQ(ReadFile(archive / (kStem + ".dlg")), "an earlier file");
    EXPECT_EQ(ReadFile(archive / (kStem + "-2.dlg")), ReadFile(kSample));
    EXPECT_TRUE(Has(r.strOut, "600 records stored in " + (archive / kStem).string() + "-2.dlg"));
    for (const auto& [file, schema] :
         {std::pair{".gpx", "gpx11-with-gpxtpx.xsd"}, std::pair{"-track.kml", "kml22gx.xsd"}}) {
        EXPECT_EQ(Shell("xmllint --noout --nonet --schema " + kSchemas + schema + " '" +
                        (archive / (kStem + "-2" + file)).string() + "'")
                      .nStatus,
                  0)
            << file;
    }
    // The same memory again, now with the erase: recognised by its bytes, nothing new is stored,
    // the logger ends empty.
    const auto before = Snapshot(archive);
    EXPECT_EQ(before.size(), 5u);
    r = Cli(Sync(sim, dir, {"--gpx", "--kml-track", "--csv", "--erase"}));
    EXPECT_EQ(r.nStatus, 0) << r.strOut;
    EXPECT_TRUE(Has(r.strOut, "nothing new stored"));
    EXPECT_TRUE(Has(r.strOut, "Logger erased"));
    EXPECT_EQ(Snapshot(archive), before);
    r = Cli({"download", "--port", sim.Port(), "-o", dir / "x.dlg"});
    EXPECT_TRUE(Has(r.strOut, "No data in device."));
    EXPECT_TRUE(Has(sim.Stop(), "erasures: 1"));
}

// Two downloads with the same span: the second's files are its own, never taken for the first's
// parts, and the erase follows only once they are written.
TEST(Sync, EachDownloadHasFilesOfItsOwn) {
    TempDir dir;
    const fs::path archive = dir.Path() / "archive";
    const std::string sample = ReadFile(kSample);
    // The sample without records 200 to 399: the same first and last fix, a gap of 1000 s.
    WriteFile(dir / "gap.dlg", sample.substr(0, 200 * 20) + sample.substr(400 * 20));
    SimProcess first({"--file", dir / "gap.dlg", "--no-pace"});
    ASSERT_EQ(Cli(Sync(first, dir, {"--gpx", "--split", "gap=10m"})).nStatus, 0);
    const auto before = Snapshot(archive);
    ASSERT_EQ(before.size(), 3u);
    SimProcess second({"--file", kSample, "--no-pace"});
    const RunResult r = Cli(Sync(second, dir, {"--gpx", "--erase"}));
    EXPECT_EQ(r.nStatus, 0) << r.strOut;
    EXPECT_FALSE(Has(r.strOut, "kept as it is"));
    const auto after = Snapshot(archive);
    for (const auto& [name, bytes] : before) EXPECT_EQ(after.at(name), bytes) << name;
    EXPECT_EQ(after.at(kStem + "-2.dlg"), sample);
    EXPECT_EQ(CountOf(after.at(kStem + "-2.gpx"), "<trkpt "), 581u);
    EXPECT_TRUE(Has(second.Stop(), "erasures: 1"));
}

// Started with standard streams closed, the programs put no text on the port or into a file.
TEST(Sync, ClosedStandardStreamsReachNeitherLoggerNorFiles) {
    for (const std::string closed : {">&-", "2>&-", ">&- 2>&-"}) {
        SCOPED_TRACE(closed);
        TempDir dir;
        SimProcess sim({"--file", kSample, "--no-pace"});
        const auto run = [&](const std::vector<std::string>& args) {
            std::string line = "exec " + kCli;
            for (const std::string& arg : args) line += " '" + arg + "'";
            return Shell(line + " " + closed).nStatus;
        };
        EXPECT_EQ(run({"download", "--port", sim.Port(), "-o", dir / "d.dlg"}), 0);
        EXPECT_EQ(ReadFile(dir / "d.dlg"), ReadFile(kSample));
        EXPECT_EQ(run(Sync(sim, dir, {"--gpx", "--erase"})), 0);
        EXPECT_EQ(ReadFile(dir.Path() / "archive" / (kStem + ".dlg")), ReadFile(kSample));
        EXPECT_TRUE(Has(sim.Stop(), "erasures: 1"));
    }
}

// Each fault stops the sync at its step, says so, keeps what was written (whole records of the
// memory, in its order) and sends no erase: the logger still holds every record.
TEST(Sync, EveryFaultStopsBeforeTheErase) {
    struct Fault {
        std::vector<std::string> sim;
        std::string prefix;  // for the command's shell
        const char* step;
        bool bStored;  // the download is in the archive under its span
        std::string says = "";
    };
    const std::vector<Fault> faults = {
        {{"--corrupt-block", "3"}, "", "download", false},
        {{"--stall-at", "2", "--stall-ms", "4000"}, "", "download", false},
        {{"--hangup-at", "2"}, "", "download", false},
        {{"--announce", "595"}, "", "verify and store the download", false},
        // 40 whole blocks announced, 50 sent: the count is wrong, so nothing proves the file whole.
        {{"--announce", "480"},
         "",
         "download",
         false,
         "The logger sent more records than it announced: 600 kept."},
        {{}, "ulimit -f 8", "download", false},
        {{}, "ulimit -f 100", "write the output files", true},
        // A file that has an output's name is some other download's: not taken for this one's.
        {{}, "", "write the output files", true, "is there already and was not made from this"},
    };
    const std::string sample = ReadFile(kSample);
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.step + (f.sim.empty() ? f.prefix : f.sim[0]));
        TempDir dir;
        std::vector<std::string> args = f.sim;
        args.insert(args.end(), {"--file", kSample, "--no-pace", "--fault-once"});
        SimProcess sim(args);
        if (f.bStored && f.prefix.empty()) {
            fs::create_directories(dir.Path() / "archive");
            WriteFile(dir.Path() / "archive" / (kStem + ".gpx"), "not from this download");
        }
        // Two processes on a machine that may be busy: the data-lost time leaves the simulator
        // room to be late, and the stall is twice as long again.
        const RunResult r =
            Cli(Sync(sim, dir, {"--gpx", "--kml", "--erase", "--timeout", "2"}), f.prefix);
        EXPECT_EQ(r.nStatus, 1) << r.strOut;
        EXPECT_TRUE(Has(r.strOut, std::string("Sync stopped at \"") + f.step + "\""));
        EXPECT_TRUE(Has(r.strOut, "The logger was not erased."));
        EXPECT_TRUE(Has(r.strOut, f.says));
        EXPECT_EQ(fs::exists(dir.Path() / "archive" / (kStem + ".dlg")), f.bStored);
        for (const auto& [name, bytes] : Snapshot(dir.Path() / "archive")) {
            size_t nAt = 0;
            for (size_t i = 0; i < bytes.size() && nAt != std::string::npos; i += 20)
                nAt = sample.find(bytes.substr(i, 20), nAt);
            EXPECT_TRUE(!name.ends_with(".dlg") ||
                        (!bytes.empty() && bytes.size() % 20 == 0 && nAt != std::string::npos))
                << name;
        }
        if (f.sim.empty() || f.sim[0] != "--hangup-at") {
            EXPECT_EQ(DownloadAgain(sim, dir), sample);
        }
        EXPECT_TRUE(Has(sim.Stop(), "erasures: 0"));
    }
}

// Ctrl-C, SIGTERM and SIGHUP during the download: the command ends with the signal's status,
// keeps what arrived under its span and never erases.
TEST(Sync, AStopSignalNeverErases) {
    const std::string sample = ReadFile(kSample);
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(nSignal);
        TempDir dir;
        SimProcess sim({"--file", kSample, "--no-pace", "--stall-at", "5", "--stall-ms", "1500",
                        "--fault-once"});
        std::vector<std::string> args = Sync(sim, dir, {"--erase"});
        args.insert(args.begin(), kCli);
        const pid_t pid = Spawn(args, dir / "out", dir / "out2");
        const fs::path raw =
            dir.Path() / "archive" / ("incomplete-download-" + std::to_string(pid) + ".dlg");
        for (int i = 0; i < 500 && !(fs::exists(raw) && fs::file_size(raw) == 5 * 12 * 20); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, nSignal);
        EXPECT_EQ(Wait(pid), 128 + nSignal);
        EXPECT_TRUE(Has(ReadFile(dir / "out2"), "The logger was not erased."));
        const auto files = Snapshot(dir.Path() / "archive");
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files.begin()->first.ends_with(".partial.dlg")) << files.begin()->first;
        EXPECT_EQ(files.begin()->second, sample.substr(0, 5 * 12 * 20));
        EXPECT_EQ(DownloadAgain(sim, dir), sample);
        EXPECT_TRUE(Has(sim.Stop(), "erasures: 0"));
    }
}

Rec Fix(uint32_t t, int32_t lat, int32_t lon, uint16_t speed = 0, uint8_t sats = 8,
        uint8_t hdop = 10, uint8_t mode = 2) {
    return {t, lat, lon, 0, speed, mode, sats, 0, hdop};
}

TEST(ArchiveTools, MergeOrdersByTimeAndKeepsEachRecordOnce) {
    TempDir dir;
    const Rec v = Fix(50, 1, 1), x = Fix(100, 2, 2), y = Fix(200, 3, 3), w = Fix(250, 4, 4),
              z = Fix(300, 5, 5), z2 = Fix(300, 6, 6);
    WriteFile(dir / "a.dlg", Records({x, y, z}));
    WriteFile(dir / "b.dlg", Records({y, w, z2, v}));  // not in time order itself
    // Equal times keep the inputs' order.
    for (const auto& [inputs, expected] :
         {std::pair{"a.dlg b.dlg", Records({v, x, y, w, z, z2})},
          std::pair{"b.dlg a.dlg", Records({v, x, y, w, z2, z})}}) {
        const RunResult r = Shell("cd '" + dir.Path().string() + "' && " + kCli + " merge " +
                                  inputs + " -o all.dlg --force 2>&1");
        EXPECT_EQ(r.nStatus, 0) << r.strErr;
        EXPECT_EQ(ReadFile(dir / "all.dlg"), expected) << inputs;
        EXPECT_EQ(r.strOut,
                  "6 records written to all.dlg from 7 in 2 files; 1 exact copies left out; 1 "
                  "records share their time with a different record (all kept).\n");
    }
    // An existing output is replaced only when it is an input, or with --force.
    EXPECT_EQ(Cli({"merge", dir / "a.dlg", dir / "b.dlg", "-o", dir / "all.dlg"}).nStatus, 2);
    EXPECT_EQ(Cli({"merge", dir / "a.dlg", dir / "b.dlg", "-o", dir / "a.dlg"}).nStatus, 0);
    EXPECT_EQ(ReadFile(dir / "a.dlg"), Records({v, x, y, w, z, z2}));
    const RunResult r = Cli({"merge", dir / "a.dlg", dir / "missing.dlg", "-o", dir / "c.dlg"});
    EXPECT_TRUE(Has(r.strOut, "Can't open raw data file.\nquorvel-cli: " + (dir / "missing.dlg")));
    EXPECT_FALSE(fs::exists(dir / "c.dlg"));
    // Five inputs of 10^9 records each (sparse): each fits, together they do not.
    std::vector<std::string> args = {"merge", "-o", dir / "big.dlg"};
    for (const char* name : {"b1", "b2", "b3", "b4", "b5"})
        fs::resize_file(args.emplace_back(WriteFile(dir / name, "")), 20000000000);
    const RunResult big = Cli(args);
    EXPECT_TRUE(Has(big.strOut,
                    "Raw data file too large.\nquorvel-cli: The 5 inputs together hold "
                    "5000000000 records (95367 MiB); one raw log holds at most "
                    "4294967295 records."));
    EXPECT_FALSE(Has(big.strOut, "b5"));
}

TEST(ArchiveTools, SplitByLocalDayAndByGap) {
    TempDir dir;
    // Europe/Berlin: 22:59:59 UTC on 30 March is 23:59:59 CET; 21:59:59 UTC on 31 March, after
    // the spring change, is 23:59:59 CEST.
    constexpr uint32_t kMar30 = 765154799, kMar31 = 765237599;
    WriteFile(dir / "dst.dlg", Records({Fix(kMar30, 0, 0), Fix(kMar30 + 1, 0, 0), Fix(kMar31, 0, 0),
                                        Fix(kMar31 + 1, 0, 0)}));
    RunResult r = Cli({"translate", dir / "dst.dlg", "--all", "--split", "day", "--tz",
                       "Europe/Berlin", "-o", dir / "trip-%Y-%m-%d.csv"});
    ASSERT_EQ(r.nStatus, 0) << r.strOut;
    EXPECT_EQ(CountOf(ReadFile(dir / "trip-2024-03-30.csv"), "\r\n"), 2u);
    EXPECT_EQ(CountOf(ReadFile(dir / "trip-2024-03-31.csv"), "\r\n"), 3u);
    EXPECT_EQ(CountOf(ReadFile(dir / "trip-2024-04-01.csv"), "\r\n"), 2u);
    EXPECT_TRUE(Has(r.strOut, "4 of 4 records written to 3 files."));
    // A gap of more than 30 minutes starts a new file; a name without a field gets -1, -2.
    WriteFile(dir / "gap.dlg", Records({Fix(kMay1, 0, 0), Fix(kMay1 + 60, 0, 0),
                                        Fix(kMay1 + 1861, 0, 0), Fix(kMay1 + 3661, 0, 0)}));
    r = Cli({"translate", dir / "gap.dlg", "--all", "--split", "gap=30m", "-o", dir / "out.gpx"});
    ASSERT_EQ(r.nStatus, 0) << r.strOut;
    EXPECT_EQ(CountOf(ReadFile(dir / "out-1.gpx"), "<trkpt "), 2u);
    EXPECT_EQ(CountOf(ReadFile(dir / "out-2.gpx"), "<trkpt "), 2u);
    r = Cli({"translate", dir / "gap.dlg", "--all", "--split", "gap=1m", "-o", dir / "x-%Y.csv"});
    EXPECT_TRUE(Has(r.strOut, "Two parts would both be written to " + (dir / "x-2009.csv")));
    // Names that differ as text but lead to one file: refused before anything is written.
    fs::create_directories(dir.Path() / "o" / "1");
    fs::create_directories(dir.Path() / "o" / "2");
    fs::create_symlink("b-2.csv", dir.Path() / "o" / "b-1.csv");
    for (const std::string pattern : {"o/%n/../x.csv", "o/b.csv"}) {
        const std::string name = pattern == "o/b.csv" ? "o/b-1.csv" : "o/1/../x.csv";
        r = Cli({"translate", dir / "gap.dlg", "--all", "--split", "gap=30m", "-o", dir / pattern});
        EXPECT_EQ(r.nStatus, 1) << r.strOut;
        EXPECT_TRUE(Has(r.strOut, "Two parts would both be written to one file (" + (dir / name)));
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "o" / "x.csv"));
    EXPECT_FALSE(fs::exists(dir.Path() / "o" / "b-2.csv"));
    r = Cli({"translate", dir / "gap.dlg", "--all", "--split", "day", "-o", dir / "x-%H.csv"});
    EXPECT_TRUE(Has(r.strOut, "Unknown field in the output name"));
    EXPECT_EQ(r.nStatus, 1);
}

TEST(ArchiveTools, FiltersCountWhatTheyLeaveOut) {
    TempDir dir;
    const uint32_t t = kMay1;
    // 0.001 degree east in 20 s from the first fix: 0.111195 km, 20.015 km/h.
    WriteFile(dir / "f.dlg",
              Records({Fix(t, 0, 0), Fix(t + 5, 90000001, 0), Fix(t + 6, 0, 100, 0, 3),
                       Fix(t + 7, 0, 200, 0, 8, 26), Fix(t + 10, 0, 10000), Fix(t + 20, 0, 1000)}));
    struct Case {
        std::string format, options;
        unsigned nWritten;
        std::string leftOut;
    };
    const std::string all = "--min-sats 4 --max-hdop 2.5 --max-speed ";
    const Case cases[] = {
        {"csv", "", 6, ""},  // a table holds what the logger holds
        {"gpx", "--min-sats 3 --max-hdop 2.6", 5, "1 with impossible coordinates."},  // limits kept
        {"kml", "--max-speed 150", 4,
         "1 with impossible coordinates, 1 reached faster than 150 km/h from the fix before."},
        {"gpx", all + "20.03", 2,
         "1 with impossible coordinates, 1 with fewer than 4 satellites, 1 with HDOP above 2.5, "
         "1 reached faster than 20.03 km/h"},
        {"csv", all + "20", 2,
         "1 with fewer than 4 satellites, 1 with HDOP above 2.5, 2 reached faster than 20 km/h"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"translate", dir / "f.dlg", "--all", "--tz", "UTC"};
        std::istringstream options(c.options);
        for (std::string word; options >> word;) args.push_back(word);
        args.insert(args.end(), {"-o", dir / ("f." + c.format)});
        const RunResult r = Cli(args);
        EXPECT_EQ(r.nStatus, 0) << r.strOut;
        EXPECT_TRUE(Has(r.strOut, std::to_string(c.nWritten) + " of 6 records written"));
        EXPECT_EQ(static_cast<bool>(Has(r.strOut, "\nLeft out: " + c.leftOut)), !c.leftOut.empty())
            << r.strOut;
        if (c.format == "csv") {
            EXPECT_EQ(CountOf(ReadFile(dir / "f.csv"), "\r\n"), c.nWritten + 1);
        }
    }
}

// A wild fix goes and the track stays, wherever it is; 0.001 degree east every 10 s is 40 km/h.
TEST(ArchiveTools, SpeedFilterDropsWildFixesNotTheTrack) {
    TempDir dir;
    // Wild fixes (333 km north, 1 s after the fix before) among ten 10 s and 0.001 degree apart.
    for (const auto& [nAt, nWild] : {std::pair{0, 1}, {10, 1}, {5, 1}, {5, 2}}) {
        std::vector<Rec> records;
        for (int i = 0; i < 10; ++i) records.push_back(Fix(kMay1 + 10 * i, 0, 1000 * i));
        for (int n = 0; n < nWild; ++n) {
            const uint32_t t = nAt == 0 ? kMay1 - 2 + n : kMay1 + 10 * (nAt - 1) + 1 + n;
            records.insert(records.begin() + nAt + n, Fix(t, 3000000 + 100 * n, 0));
        }
        WriteFile(dir / "w.dlg", Records(records));
        const std::string legend = std::to_string(nWild) + " at " + std::to_string(nAt);
        const RunResult r = Cli({"translate", dir / "w.dlg", "--all", "--tz", "UTC", "--max-speed",
                                 "200", "-o", dir / "w.csv"});
        EXPECT_TRUE(Has(r.strOut, "10 of " + std::to_string(10 + nWild) + " records written to " +
                                      (dir / "w.csv") + "\nLeft out: " + std::to_string(nWild) +
                                      " reached faster"))
            << legend;
        EXPECT_TRUE(
            Has(Cli({"info", "--days", dir / "w.dlg", "--tz", "UTC", "--max-speed", "200"}).strOut,
                " 1.0 km"))
            << legend;
    }
}

TEST(ArchiveTools, InfoDaysSumsUpEachLocalDay) {
    TempDir dir;
    const uint32_t t = kMay1 + 10 * 3600;
    WriteFile(dir / "d.dlg",
              Records({Fix(t, 0, 0, 3600), Fix(t + 10, 0, 10000, 4000),
                       Fix(t + 600, 0, 0, 0, 0, 99, 0), Fix(t + 610, 0, 20000, 5000),
                       Fix(kMay1 + 86405, 0, 20000, 1234), Fix(kMay1 + 86406, 95000000, 0, 9999)}));
    EXPECT_EQ(Cli({"info", "--days", dir / "d.dlg", "--tz", "UTC"}).strOut,
              "Day         First     Last      Records  No fix  Gaps  Distance    Max speed\n"
              "2009-05-01  10:00:00  10:10:10        4       1     1     2.2 km   50.0 km/h\n"
              "2009-05-02  00:00:05  00:00:06        2       0     0     0.0 km   12.3 km/h\n"
              "Left out of distance and speed: 1 with impossible coordinates.\n"
              "Times in GMT+0:00; gaps are more than 5 minutes without a record.\n");
    // The same as JSON, read by Python's parser.
    EXPECT_EQ(Shell(kCli + " info --days --json '" + (dir / "d.dlg") +
                    "' --tz UTC | python3 -c \"import json,sys; d=json.load(sys.stdin); "
                    "print([(x['date'], x['records'], x['gaps'], x['distanceKm'], "
                    "x['maxSpeedKmh']) for x in d['days']], d['leftOut']['coordinates'])\"")
                  .strOut,
              "[('2009-05-01', 4, 1, 2.2, 50.0), ('2009-05-02', 2, 0, 0.0, 12.34)] 1\n");
}

}  // namespace
