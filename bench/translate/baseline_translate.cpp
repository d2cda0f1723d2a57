// The naive way to write the same files: every piece formatted with snprintf and written with its
// own system call, no buffering. The benchmark compares against it and checks the bytes agree.
//   baseline_translate IN.dlg OUT.{kml,csv}   (all records, no-fix kept, GMT+8:00)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "export/TrackWriters.h"
#include "track/Calendar.h"
#include "track/RawLog.h"

namespace {

int g_fd = -1;

void Put(const char* p) {
    (void)!::write(g_fd, p, std::strlen(p));
}

void WriteCsvNaive(const RawLogImage& image, int32_t offset) {
    Put("Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP\r\n");
    char line[1024];
    for (uint32_t i = 0; i < image.RecordCount(); ++i) {
        const FixRecord r = image.Record(i);
        const LogDateTime l = SecondsToDateTime(r.dwTime, offset);
        const LogDateTime g = SecondsToDateTime(r.dwTime, 0);
        std::snprintf(line, sizeof line,
                      "=\"%d-%02d-%02d %02d:%02d:%02d\",=\"%d-%02d-%02d %02d:%02d:%02d\",=\"%d\","
                      "=\"%d\",=\"%.06f\",=\"%.06f\",=\"%d m\",=\"%.2f Km/h\",=\"%d\",=\"%d.%d\",",
                      l.wYear, l.bMonth, l.bDay, l.bHour, l.bMinute, l.bSecond, g.wYear, g.bMonth,
                      g.bDay, g.bHour, g.bMinute, g.bSecond, RawFixMode(r) + 1, SatellitesUsed(r),
                      r.lLatitude / 1000000.0, r.lLongitude / 1000000.0, r.wAltitude,
                      r.wSpeed / 100.0, r.bCourse * 2, r.bHdop / 10, r.bHdop % 10);
        Put(line);
        Put("\r\n");
    }
}

void WriteKmlNaive(const RawLogImage& image, int32_t offset) {
    Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
    Put("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n");
    Put("<Document>\r\n");
    char line[256];
    char desc[1024];
    for (uint32_t i = 0; i < image.RecordCount(); ++i) {
        const FixRecord r = image.Record(i);
        const LogDateTime l = SecondsToDateTime(r.dwTime, offset);
        const LogDateTime g = SecondsToDateTime(r.dwTime, 0);
        Put(" <Placemark>\r\n");
        std::snprintf(line, sizeof line,
                      "  <TimeStamp> <when>%d-%02d-%02dT%02d:%02d:%02dZ</when> </TimeStamp> \r\n",
                      l.wYear, l.bMonth, l.bDay, l.bHour, l.bMinute, l.bSecond);
        Put(line);
        std::snprintf(line, sizeof line,
                      "  <Style> <IconStyle><Icon><href>%s</href></Icon><colorMode>normal"
                      "</colorMode><color>%s</color></IconStyle></Style>\r\n",
                      kKmlIconAddress, KmlFixModeColor(RawFixMode(r)));
        Put(line);
        std::snprintf(line, sizeof line, "  <name>%d</name>\r\n", static_cast<int>(i + 1));
        Put(line);
        std::snprintf(desc, sizeof desc,
                      "  <description>  <![CDATA[<b>Local time:</b> %d-%02d-%02d %02d:%02d:%02d<br>"
                      "<b>GPS time:</b> %d-%02d-%02d %02d:%02d:%02d<br><b>Fix mode:</b> %d<br>"
                      "<b>SV used:</b> %d<br><b>Latitude:</b> %.06f<br><b>Longitude:</b> %.06f<br>"
                      "<b>Altitude:</b> %d m<br><b>Speed:</b> %.2f Km/h<br><b>Course:</b> %d<br>"
                      "<b>HDOP:</b> %d.%d<br>]]></description>",
                      l.wYear, l.bMonth, l.bDay, l.bHour, l.bMinute, l.bSecond, g.wYear, g.bMonth,
                      g.bDay, g.bHour, g.bMinute, g.bSecond, RawFixMode(r) + 1, SatellitesUsed(r),
                      r.lLatitude / 1000000.0, r.lLongitude / 1000000.0, r.wAltitude,
                      r.wSpeed / 100.0, r.bCourse * 2, r.bHdop / 10, r.bHdop % 10);
        Put(desc);
        std::snprintf(line, sizeof line,
                      "  <Point><coordinates>%.07f,%.07f,0</coordinates></Point>\r\n",
                      r.lLongitude / 1000000.0, r.lLatitude / 1000000.0);
        Put(line);
        Put(" </Placemark>\r\n");
    }
    Put("</Document>\r\n");
    Put("</kml>");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: baseline_translate IN.dlg OUT.{kml,csv}\n");
        return 2;
    }
    RawLogImage image;
    if (LoadRawLogImage(argv[1], image) != RawLogStatus::Ok) return 1;
    g_fd = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (g_fd < 0) return 1;
    const std::string out = argv[2];
    if (out.ends_with(".kml")) {
        WriteKmlNaive(image, 28800);
    } else {
        WriteCsvNaive(image, 28800);
    }
    return ::close(g_fd) == 0 ? 0 : 1;
}
