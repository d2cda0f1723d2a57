#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "track/RawLog.h"

namespace {

struct InfoOptions {
    std::string strFile;
    std::string strZone;
};

int RunInfo(const InfoOptions& opt) {
    const std::optional<TimeZone> zone = ResolveTimeZone(opt.strZone);
    if (!zone) return kExitUsage;
    RawLogImage image;
    if (!LoadRawLogForCommand(opt.strFile, image)) return kExitFailure;
    std::printf("%s\n%s\nTimes in %s.\n",
                FormatTimeSpanLabel(image.FirstTime(), image.LastTime(), *zone).c_str(),
                FormatSizeLabel(image.RecordCount()).c_str(), zone->DisplayName().c_str());
    return kExitOk;
}

}  // namespace

CliCommand MakeInfoCommand() {
    auto opt = std::make_shared<InfoOptions>();
    return {"info", "Show the time span and record count of a raw log (.dlg) file",
            [opt](CLI::App& app) {
                app.add_option("FILE", opt->strFile, "Raw log file")->required();
                app.add_option("--tz", opt->strZone,
                               "Time zone of the shown times: local (the default), a zone name "
                               "such as Europe/Berlin, UTC, or an offset such as GMT+8:00");
            },
            [opt] { return RunInfo(*opt); }};
}
