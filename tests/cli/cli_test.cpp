// quorvel-cli run as a user runs it: on the sample log and broken inputs, against real readers of
// its outputs, against quorvel-sim processes and their faults, on full and locked disks, and
// stopped by signals.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "tests/common/Programs.h"

namespace {

// The machine's own zone is GMT+8:00 for these runs: the default zone is the system's.
RunResult Cli(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), kCli);
    env.push_back("TZ=Etc/GMT-8");
    return RunProgram(args, env);
}

size_t FilesIn(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(Cli, InfoAndTheZones) {
    const char* const cases[][3] = {
        // --tz (empty: none, the system's zone), the span shown, the zone named
        {"", "2009/05/01 23:30:00 ~ 2009/05/02 00:19:55", "local (Etc/GMT-8)"},
        {"UTC", "2009/05/01 15:30:00 ~ 2009/05/01 16:19:55", "GMT+0:00"},
        {"GMT-3:30", "2009/05/01 12:00:00 ~ 2009/05/01 12:49:55", "GMT-3:30"},
        {"Europe/Berlin", "2009/05/01 17:30:00 ~ 2009/05/01 18:19:55", "Europe/Berlin"},
    };
    for (const auto& [tz, span, zone] : cases) {
        std::vector<std::string> args = {"info", kSample, "--tz", tz};
        if (*tz == '\0') args.resize(2);
        EXPECT_EQ(Cli(args).strOut,
                  std::string("Time: ") + span + "\nSize(Record): 600\nTimes in " + zone + ".\n");
    }
}

// Real readers: xmllint and GDAL on KML, GDAL and Python's csv module on CSV, and the same bytes
// under a German locale.
TEST(Cli, WholeSampleThatRealReadersAccept) {
    TempDir dir;
    RunResult r = Cli({"translate", kSample, "--all", "--keep-nofix", "-o", dir / "all.kml"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Translate OK.\n600 of 600 records written to " + (dir / "all.kml") +
                            "\nTimes in local (Etc/GMT-8).\n");
    ASSERT_EQ(Cli({"translate", kSample, "--all", "--keep-nofix", "-o", dir / "all.csv"},
                  {"LC_ALL=de_DE.UTF-8"})
                  .nStatus,
              0);
    const std::string kml = ReadFile(dir / "all.kml");
    EXPECT_EQ(CountOf(kml, "<Placemark>"), 600u);
    EXPECT_EQ(Shell("xmllint --noout '" + (dir / "all.kml") + "'").nStatus, 0);
    if (Have("ogrinfo")) {
        r = Shell("ogrinfo -ro -al -so '" + (dir / "all.kml") + "'");
        EXPECT_TRUE(Has(r.strOut, "Feature Count: 600")) << r.strErr;
        r = Shell("ogrinfo -ro -al '" + (dir / "all.csv") + "'");
        // GDAL keeps the formula's equals sign and drops the quotes around the value.
        EXPECT_TRUE(Has(r.strOut,
                        "  Local time (String) = =2009-05-01 23:30:00\n  GPS time (String) "
                        "= =2009-05-01 15:30:00\n  Fix mode (String) = =3\n"));
        EXPECT_TRUE(Has(r.strOut,
                        "  Speed (String) = =31.97 Km/h\n  Course (String) = =218\n"
                        "  HDOP (String) = =1.0\n"));
    }
    r = Shell(
        "python3 -c \"import csv,sys; rows=list(csv.reader(open(sys.argv[1], newline=''))); "
        "print(len(rows), len(rows[0]), len(rows[1]), rows[1][4])\" '" +
        (dir / "all.csv") + "'");
    EXPECT_EQ(r.strOut, "601 10 11 =\"25.032686\"\n") << r.strErr;
    // The same CSV bytes under the extension .txt.
    ASSERT_EQ(Cli({"translate", kSample, "--all", "--keep-nofix", "-o", dir / "all.txt"}).nStatus,
              0);
    EXPECT_EQ(ReadFile(dir / "all.txt"), ReadFile(dir / "all.csv"));
}

// GPX through GDAL, with its times in UTC; both new formats valid against their schemas. Records
// without a fix have no place on a map, kept or not; extensions match in any letter case.
TEST(Cli, GpxAndKmlTrackForTheRestOfTheGpsWorld) {
    TempDir dir;
    ASSERT_EQ(Cli({"translate", kSample, "--all", "-o", dir / "t.gpx"}).nStatus, 0);
    ASSERT_EQ(Cli({"translate", kSample, "--all", "--kml-track", "-o", dir / "t.kml"}).nStatus, 0);
    RunResult r = Cli({"translate", kSample, "--all", "--keep-nofix", "-o", dir / "k.GPX"});
    EXPECT_EQ(r.strOut, "Translate OK.\n581 of 600 records written to " + (dir / "k.GPX") +
                            "\nLeft out: 19 without a position fix (a map has no place for them)."
                            "\nTimes in local (Etc/GMT-8).\n");
    EXPECT_EQ(ReadFile(dir / "k.GPX"), ReadFile(dir / "t.gpx"));
    r = Cli({"translate", kSample, "--all", "--keep-nofix", "--kml-track", "-o", dir / "k.Kml"});
    EXPECT_EQ(ReadFile(dir / "k.Kml"), ReadFile(dir / "t.kml")) << r.strErr;
    // The points, in order, are the raw log's fixes; the bounds enclose them.
    WriteFile(dir / "model.py", R"(import struct, sys, xml.etree.ElementTree as E
f = [(r[1], r[2]) for r in struct.iter_unpack('<IiiHHBBBB', open(sys.argv[1], 'rb').read())
     if r[5] >> 6 and abs(r[1]) <= 90e6 and abs(r[2]) <= 180e6]
g, n = E.parse(sys.argv[2]).getroot(), '{http://www.topografix.com/GPX/1/1}'
p = [(round(float(t.get('lat')) * 1e6), round(float(t.get('lon')) * 1e6)) for t in g.iter(n + 'trkpt')]
b = [round(float(g.find(n + 'metadata/' + n + 'bounds').get(k)) * 1e6) for k in ('minlat', 'minlon', 'maxlat', 'maxlon')]
print(len(p), p == f, b == [min(x[0] for x in f), min(x[1] for x in f), max(x[0] for x in f), max(x[1] for x in f)], g.find(n + 'trk/' + n + 'name').text))");
    r = Shell("python3 '" + (dir / "model.py") + "' '" + kSample + "' '" + (dir / "t.gpx") + "'");
    EXPECT_EQ(r.strOut, "581 True True Track 2009-05-01 to 2009-05-02\n") << r.strErr;
    const std::string schemas = std::string(QUORVEL_SOURCE_DIR) + "/tests/data/schemas/";
    EXPECT_EQ(Shell("xmllint --noout --schema '" + schemas + "gpx11-with-gpxtpx.xsd' '" +
                    (dir / "t.gpx") + "'")
                  .nStatus,
              0);
    EXPECT_EQ(
        Shell("xmllint --noout --schema '" + schemas + "kml22gx.xsd' '" + (dir / "t.kml") + "'")
            .nStatus,
        0);
    if (Have("ogrinfo")) {
        r = Shell("ogrinfo -ro '" + (dir / "t.gpx") + "' track_points -fid 0");
        EXPECT_TRUE(Has(r.strOut, "time (DateTime) = 2009/05/01 15:30:00+00")) << r.strErr;
        // One track per local day (two in GMT+8), not a copy of it beside.
        r = Shell("ogrinfo -ro -al -so '" + (dir / "t.kml") + "'");
        EXPECT_EQ(CountOf(r.strOut, "Feature Count: 1\n"), 2u) << r.strOut << r.strErr;
        EXPECT_EQ(CountOf(r.strOut, "Feature Count:"), 2u);
    }
    // Options that would change nothing are refused.
    for (const auto& [option, out] :
         {std::pair{"--kml-points=all", "p.kml"}, std::pair{"--kml-track", "p.gpx"}}) {
        r = Cli({"translate", kSample, option, "-o", dir / out});
        EXPECT_EQ(r.nStatus, 2);
        EXPECT_TRUE(Has(r.strErr, std::string(option).substr(0, 12)));
        EXPECT_FALSE(fs::exists(dir / out));
    }
}

TEST(Cli, SelectionsInTheChosenZone) {
    TempDir dir;
    const auto csv = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"translate", kSample, "--keep-nofix", "-o", dir / "w.csv"});
        EXPECT_EQ(Cli(args).nStatus, 0);
        return ReadFile(dir / "w.csv");
    };
    // At GMT+8:00 the minute before local midnight is 15:59:00..16:00:00 GPS time: 13 records, in
    // either order of the bounds.
    std::string out = csv({"--from", "2009-05-01 23:59:00", "--to", "2009-05-02 00:00:00"});
    EXPECT_EQ(CountOf(out, "\r\n"), 14u);
    EXPECT_TRUE(Has(out, "=\"2009-05-02 00:00:00\",=\"2009-05-01 16:00:00\""));
    EXPECT_EQ(csv({"--from", "2009-05-02 00:00:00", "--to", "2009-05-01 23:59:00"}), out);
    // The same minute in UTC lies outside the sample: no file, and the span is said.
    const RunResult none =
        Cli({"translate", kSample, "-o", dir / "none.csv", "--from", "2009-05-01 23:59:00", "--to",
             "2009-05-02 00:00:00", "--tz", "UTC"});
    EXPECT_EQ(none.nStatus, 1);
    EXPECT_NE(
        none.strErr.find("No record lies in the selection: nothing was written.\nquorvel-cli: "
                         "The time window 2009-05-01 23:59:00 ~ 2009-05-02 00:00:00 lies "
                         "outside the file's span 2009-05-01 15:30:00 ~ 2009-05-01 16:19:55 "
                         "in GMT+0:00."),
        std::string::npos)
        << none.strErr;
    EXPECT_FALSE(fs::exists(dir / "none.csv"));
    // By Size: three from a start; 0, text and negative numbers set no limit; the end plays no
    // part.
    out = csv({"--from", "2009-05-02 00:00:00", "--records", "3"});
    EXPECT_EQ(CountOf(out, "\r\n"), 4u);
    EXPECT_TRUE(Has(out, "=\"2009-05-01 16:00:10\""));
    for (const char* records : {"0", "abc", "-3", ""}) {
        EXPECT_EQ(CountOf(csv({"--from", "2009-05-02 00:00:00", "--records", records}), "\r\n"),
                  241u)
            << records;
    }
    // A start before the record scale is its first second: the window runs from there, not,
    // wrapped and swapped, from its end on (61 records at 5 s up to 23:35:00).
    out = csv({"--from", "2000-01-01 00:00:00", "--to", "2009-05-01 23:35:00"});
    EXPECT_EQ(CountOf(out, "\r\n"), 62u);
}

TEST(Cli, FailuresSayWhyAndLeaveTheEarlierOutput) {
    TempDir dir;
    WriteFile(dir / "empty.dlg", "");
    WriteFile(dir / "odd.dlg", std::string(41, '\1'));
    WriteFile(dir / "t.gpx", "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"></gpx>\n");
    ASSERT_EQ(::mkfifo((dir / "pipe.dlg").c_str(), 0600), 0);
    const struct {
        std::vector<std::string> args;  // after "translate"
        std::string message;
    } cases[] = {
        {{kSample, "-o", dir / "noext"}, "Unknown file format."},
        {{kSample, "-o", dir / "a.kmz"},
         "File format not supported.\nquorvel-cli: Supported: .kml"},
        {{kSample, "-o", dir / "missing/a.kml"},
         "Can't generate output file.\nquorvel-cli: " + (dir / "missing/a.kml") +
             ": No such file or directory"},
        {{dir / "empty.dlg", "-o", dir / "keep.kml"}, "No valid GPS data in raw file."},
        {{dir / "odd.dlg", "-o", dir / "keep.kml"}, "Error data in raw file."},
        {{dir / "t.gpx", "--all", "-o", dir / "keep.kml"}, "This is an XML file"},
        {{dir / "none.dlg", "-o", dir / "keep.kml"},
         "Can't open raw data file.\nquorvel-cli: " + (dir / "none.dlg") + ": No such file"},
        {{dir.Path().string(), "-o", dir / "keep.kml"}, ": Is a directory"},
        // A FIFO is refused at once, not waited on for ever.
        {{dir / "pipe.dlg", "-o", dir / "keep.kml"}, ": not a regular file"},
        {{kSample, "-o", dir / "keep.kml", "--from", "2009-02-30"}, "Invalid --from time"},
        {{kSample, "-o", dir / "keep.kml", "--tz", "GMT+15"}, "Unknown time zone \"GMT+15\""},
    };
    WriteFile(dir / "keep.kml", "earlier translation");
    for (const auto& c : cases) {
        std::vector<std::string> args = {"timeout", "20", kCli, "translate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunProgram(args);
        EXPECT_TRUE(r.nStatus == 1 || r.nStatus == 2) << r.nStatus;
        EXPECT_TRUE(Has(r.strErr, c.message));
        EXPECT_FALSE(Has(r.strOut, "Translate OK."));
    }
    EXPECT_EQ(ReadFile(dir / "keep.kml"), "earlier translation");
    EXPECT_FALSE(fs::exists(dir / "a.kmz"));
    // Ports: missing, a folder, no name at all.
    for (const auto& [port, why] :
         {std::pair{std::string("/dev/quorvel-missing"), ": /dev/quorvel-missing does not exist"},
          std::pair{dir.Path().string(), ": the device is not a serial port"},
          std::pair{std::string(), "No port name given."}}) {
        const RunResult r = Cli({"download", "--port", port, "-o", dir / "x.dlg"});
        EXPECT_EQ(r.nStatus, 1);
        EXPECT_TRUE(Has(r.strErr, "Can't open COM port. Action cancelled.\nquorvel-cli: "));
        EXPECT_TRUE(Has(r.strErr, why));
    }
}

// Written through a symbolic link: the link stays and the file it names gets the output with the
// permission bits it had. Names up to the file system's limit work (the temporary name is short).
TEST(Cli, LinksModesAndLongNames) {
    TempDir dir;
    WriteFile(dir / "real.csv", "old");
    fs::permissions(dir / "real.csv",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.csv", dir / "link.csv");
    const std::string longName = dir / (std::string(251, 'n') + ".csv");
    for (const std::string& out : {dir / "link.csv", longName})
        ASSERT_EQ(Cli({"translate", kSample, "-o", out}).nStatus, 0) << out;
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(ReadFile(dir / "real.csv").substr(0, 10), "Local time");
    EXPECT_EQ(fs::status(dir / "real.csv").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadFile(longName).substr(0, 10), "Local time");
}

// Ctrl-C, SIGTERM or SIGHUP during a translation: the program ends with the signal's status and
// leaves no temporary file; the earlier output stays.
TEST(Cli, AStopSignalLeavesNoTemporaryFile) {
    TempDir dir;
    {
        const std::string sample = ReadFile(kSample);
        std::ofstream big(dir / "big.dlg", std::ios::binary);
        for (int i = 0; i < 8000; ++i) big << sample;  // 4.8 million records
    }
    WriteFile(dir / "out.kml", "earlier");
    for (const auto& [signal, status] :
         {std::pair{"INT", "130"}, std::pair{"TERM", "143"}, std::pair{"HUP", "129"}}) {
        // The signal comes once the temporary file is there, mid-translation.
        const RunResult r = Shell("cd '" + dir.Path().string() + "'; '" + kCli +
                                  "' translate --all big.dlg -o out.kml & for i in $(seq 2000); do "
                                  "ls -A | grep -q '^[.]qv-' && break; sleep 0.01; done; kill -" +
                                  signal + " $!; wait $!; echo $?");
        EXPECT_EQ(r.strOut, std::string(status) + "\n") << signal;
        EXPECT_EQ(fs::file_size(dir / "out.kml"), 7u) << signal;  // "earlier"
        EXPECT_EQ(FilesIn(dir.Path()), 2u) << signal;
    }
}

// A full disk: the translation keeps the earlier output and leaves nothing behind; the download
// says so, keeps whole records, the start of the logger's memory.
TEST(Cli, AFullDisk) {
    TempDir dir;
    // A real full disk: a tmpfs of 16 KiB. Needs the right to mount (CI runs as root).
    const fs::path disk = dir.Path() / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16384") != 0) GTEST_SKIP() << "needs root";
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        disk.c_str(), [](const char* p) { ::umount2(p, MNT_DETACH); });
    WriteFile(disk / "track.kml", "earlier translation");
    RunResult r = Cli({"translate", kSample, "--all", "-o", (disk / "track.kml").string()});
    EXPECT_TRUE(Has(r.strErr, "Can't generate output file.\nquorvel-cli: " +
                                  (disk / "track.kml").string() + ": No space left on device"));
    EXPECT_EQ(ReadFile(disk / "track.kml"), "earlier translation");
    EXPECT_EQ(FilesIn(disk), 1u);
    fs::remove(disk / "track.kml");

    SimProcess sim({"--records", "2000", "--seed", "7", "--no-pace"});
    r = Cli({"download", "--port", sim.Port(), "-o", (disk / "full.dlg").string()});
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_TRUE(Has(r.strErr, "Can't write raw data file."));
    const std::string part = ReadFile(disk / "full.dlg");
    EXPECT_GT(part.size(), 0u);
    EXPECT_EQ(part.size() % 20, 0u);
    EXPECT_EQ(part, GeneratedMemory(2000, 7).substr(0, part.size()));
}

TEST(Cli, DownloadEraseAndSettingsAgainstTheLogger) {
    TempDir dir;
    SimProcess sim({"--file", kSample, "--no-pace", "--interval", "0010", "--distance", "25"});
    WriteFile(dir / "out.dlg", "an earlier download");  // replaced, with --force, once complete
    RunResult r = Cli({"download", "--port", sim.Port(), "-o", dir / "out.dlg", "--force"});
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_TRUE(Has(r.strOut, "Download OK.\n600 records in " + (dir / "out.dlg")));
    EXPECT_EQ(ReadFile(dir / "out.dlg"), ReadFile(kSample));

    EXPECT_EQ(Cli({"config", "get", "--port", sim.Port()}).strOut,
              "interval: 0010\ndistance: 25\n");
    r = Cli({"config", "set", "--port", sim.Port(), "--interval", "60", "--distance", "0"});
    EXPECT_TRUE(Has(r.strOut, "Set config OK."));
    EXPECT_EQ(Cli({"config", "get", "--port", sim.Port()}).strOut, "interval: 60\ndistance: 0\n");
    // Numbers in their ranges only; a line end in a value would have erased the logger.
    for (const auto& [interval, distance] :
         {std::pair{"6", "0\r\nVXC,VendrimaxQM-518,LC"}, std::pair{"65536", "0"},
          std::pair{"5\xe2\x82\xac", "0"}, std::pair{"5", "4294967296"}}) {
        r = Cli({"config", "set", "--port", sim.Port(), "--interval", interval, "--distance",
                 distance});
        EXPECT_EQ(r.nStatus, 2) << r.strOut;
        EXPECT_FALSE(Has(r.strOut, "Set config OK."));
    }
    EXPECT_EQ(Cli({"config", "get", "--port", sim.Port()}).strOut, "interval: 60\ndistance: 0\n");

    r = Cli({"erase", "--port", sim.Port()});  // input is not a terminal
    EXPECT_EQ(r.nStatus, 2);
    EXPECT_TRUE(Has(r.strErr, "--yes"));
    ASSERT_EQ(Cli({"download", "--port", sim.Port(), "-o", dir / "again.dlg"}).nStatus, 0);
    EXPECT_EQ(Cli({"erase", "--port", sim.Port(), "--yes"}).nStatus, 0);
    r = Cli({"download", "--port", sim.Port(), "-o", dir / "none.dlg"});
    EXPECT_TRUE(Has(r.strErr, "No data in device."));
    EXPECT_FALSE(fs::exists(dir / "none.dlg"));
}

// An existing file is replaced only with --force (and only by a complete download: above); one that
// fails (the logger hangs up) leaves it as it was and keeps what arrived beside it.
TEST(Cli, DownloadNeverDamagesAnExistingFile) {
    TempDir dir;
    WriteFile(dir / "keep.dlg", "an earlier download");
    SimProcess sim({"--records", "60", "--no-pace", "--hangup-at", "2"});
    RunResult r = Cli({"download", "--port", sim.Port(), "-o", dir / "keep.dlg"});
    EXPECT_EQ(r.nStatus, 2);
    EXPECT_TRUE(Has(r.strErr, "--force"));
    r = Cli({"download", "--port", sim.Port(), "-o", dir / "keep.dlg", "--force"});
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_TRUE(Has(r.strErr, "The logger went away"));
    EXPECT_TRUE(Has(r.strErr, dir / "keep.partial.dlg"));
    EXPECT_EQ(ReadFile(dir / "keep.dlg"), "an earlier download");
    EXPECT_EQ(fs::file_size(dir / "keep.partial.dlg"), 24u * 20u);
}

// Ctrl-C, SIGTERM and SIGHUP cancel cleanly with the signal's status; even SIGKILL leaves whole
// blocks only, the start of the logger's memory.
TEST(Cli, EveryStopSignalLeavesWholeBlocks) {
    const std::string sample = ReadFile(kSample);
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(nSignal);
        TempDir dir;
        SimProcess sim({"--file", kSample, "--baud", "9600"});
        const pid_t pid = Spawn({kCli, "download", "--port", sim.Port(), "-o", dir / "part.dlg"},
                                dir / "out", dir / "err");
        for (int i = 0;
             i < 500 && !(fs::exists(dir / "part.dlg") && fs::file_size(dir / "part.dlg") > 0);
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, nSignal);
        EXPECT_EQ(Wait(pid), 128 + nSignal);
        if (nSignal != SIGKILL) {
            EXPECT_TRUE(Has(ReadFile(dir / "err"), "Abort download process."));
        }
        const std::string part = ReadFile(dir / "part.dlg");
        EXPECT_GT(part.size(), 0u);
        EXPECT_EQ(part.size() % 240, 0u);
        EXPECT_EQ(part, sample.substr(0, part.size()));
    }
}

}  // namespace
