// The plain CSV as Python's csv module, GDAL's CSV driver and LibreOffice Calc read it.

#include <gtest/gtest.h>

#include "tests/common/Programs.h"

namespace {

// Prints "<rows> <same values as the spreadsheet CSV> <numbers in Calc>".
constexpr char kReaders[] = R"(
import csv, datetime, pathlib, subprocess, sys, zipfile, xml.etree.ElementTree as ET
head, *rows = list(csv.reader(open(sys.argv[1], newline='')))
old = [[c[2:-1].removesuffix(' m').removesuffix(' Km/h') for c in r[:10]]
       for r in list(csv.reader(open(sys.argv[2], newline='')))[1:]]
iso = lambda t: datetime.datetime.fromisoformat(t)
same = len(rows) == len(old) and all(
    len(p) == len(head) == 10 and float(p[2]) == float(o[4]) and
    iso(p[0]) == iso(p[1]) and iso(p[0]).utcoffset() == datetime.timedelta(hours=8) and
    p[0][:19] == o[0].replace(' ', 'T') and p[1] == o[1].replace(' ', 'T') + 'Z' and
    p[2:] == [o[4], o[5], o[6], o[7], o[8], o[2], o[3], o[9]] for p, o in zip(rows, old))
work = pathlib.Path(sys.argv[3])
subprocess.run(['soffice', '-env:UserInstallation=' + (work / 'profile').as_uri(), '--headless',
                '--infilter=CSV:44,34,76,1,,1033', '--convert-to', 'ods', '--outdir', str(work),
                sys.argv[1]], check=True, capture_output=True, timeout=300)
O = '{urn:oasis:names:tc:opendocument:xmlns:office:1.0}'
T = '{urn:oasis:names:tc:opendocument:xmlns:table:1.0}'
xml = ET.fromstring(zipfile.ZipFile(work / (pathlib.Path(sys.argv[1]).stem + '.ods')).read('content.xml'))
cells = [[c for c in r.iter(T + 'table-cell') for _ in range(int(c.get(T + 'number-columns-repeated', 1)))]
         for r in xml.iter(T + 'table-row')][1:len(rows) + 1]
calc = all(c.get(O + 'value-type') == 'float' for r in cells for c in r[2:10]) and \
    round(sum(float(r[2].get(O + 'value')) for r in cells), 3) == round(sum(float(p[2]) for p in rows), 3)
print(len(rows), same, calc)
)";

TEST(PlainCsv, ReadAsNumbersByScriptsGdalAndCalc) {
    TempDir dir;
    const std::string plain = dir / "p.csv", classic = dir / "c.csv";
    for (const auto& [out, flag] : {std::pair{plain, "--plain-csv"}, {classic, "--all"}}) {
        const RunResult r =
            RunProgram({kCli, "translate", kSample, "--all", "--tz", "GMT+8", flag, "-o", out});
        ASSERT_EQ(r.nStatus, 0) << r.strErr;
    }
    // The sample's 600 records less 19 without a fix: points for GDAL, numbers for Calc.
    EXPECT_TRUE(Has(Shell("ogrinfo -ro -al -so '" + plain +
                          "' -oo X_POSSIBLE_NAMES=longitude -oo Y_POSSIBLE_NAMES=latitude")
                        .strOut,
                    "Geometry: Point\nFeature Count: 581\n"));
    const RunResult r = Shell("python3 '" + WriteFile(dir / "readers.py", kReaders) + "' '" +
                              plain + "' '" + classic + "' '" + dir / "" + "'");
    EXPECT_EQ(r.strOut, "581 True True\n") << r.strErr;
}

}  // namespace
