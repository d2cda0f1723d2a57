#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LinkSession.h"
#include "protocol/CommandSentence.h"
#include "sim/SimRunner.h"

namespace {

TEST(LinkSession, AFailedSentenceWriteIsAFailure) {
    SimFaults faults;
    faults.nHangUpBlock = 0;
    SimLogger logger(std::vector<uint8_t>(40, 1), faults);
    SimRunner runner(logger, 115200, false);
    std::string strError;
    ASSERT_TRUE(runner.Open(strError)) << strError;
    ASSERT_TRUE(runner.Start());
    LinkSession session;
    ASSERT_TRUE(session.Open(runner.PortPath(), 115200, 300));
    ASSERT_TRUE(session.Send(DownloadSentenceBody()));
    for (int i = 0; i < 300 && !runner.HungUp(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(runner.HungUp());
    // The device is gone: the settings write must not count as done.
    EXPECT_FALSE(session.Send(ConfigWriteSentenceBody(false, u"5", u"0")));
}

TEST(LinkSession, AnOverlongSentenceIsNotSent) {
    SimLogger logger;
    SimRunner runner(logger, 115200, false);
    std::string strError;
    ASSERT_TRUE(runner.Open(strError)) << strError;
    ASSERT_TRUE(runner.Start());
    LinkSession session;
    ASSERT_TRUE(session.Open(runner.PortPath(), 115200));
    EXPECT_FALSE(session.Send(ConfigWriteSentenceBody(false, std::u16string(300, u'9'), u"0")));
    // A query afterwards is answered on its own: nothing of the refused sentence reached the line.
    ASSERT_TRUE(session.Send(ConfigQuerySentenceBody()));
    std::optional<WorkerEvent> event;
    do {
        event = session.Events().Pop(std::chrono::seconds(5));
    } while (event && event->kind != WorkerEvent::Kind::LogEntry);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->strText.rfind("VXs,", 0), 0u) << event->strText;
    EXPECT_EQ(runner.WithLogger([](SimLogger& l) { return l.BadSentences(); }), 0);
    EXPECT_EQ(runner.WithLogger([](SimLogger& l) { return l.Interval(); }), "5");
}

}  // namespace
