#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/LinkSession.h"
#include "link/WorkerEventQueue.h"
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
    std::atomic<int32_t> a{0}, b{0}, c{0}, d{0};
    WorkerEventQueue events;
    LinkSession session(WorkerFlags{a, b, c, d}, events, 300);
    ASSERT_EQ(session.Open(runner.PortPath(), 115200), SerialStatus::Ok);
    ASSERT_TRUE(session.Send(DownloadSentenceBody()).Ok());
    for (int i = 0; i < 300 && !runner.HungUp(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(runner.HungUp());
    // The device is gone: the settings write must not count as done.
    EXPECT_FALSE(session.Send(ConfigWriteSentenceBody(false, u"5", u"0")).Ok());
}

TEST(LinkSession, AnOverlongSentenceIsNotSent) {
    SimLogger logger;
    SimRunner runner(logger, 115200, false);
    std::string strError;
    ASSERT_TRUE(runner.Open(strError)) << strError;
    ASSERT_TRUE(runner.Start());
    std::atomic<int32_t> a{0}, b{0}, c{0}, d{0};
    WorkerEventQueue events;
    LinkSession session(WorkerFlags{a, b, c, d}, events);
    ASSERT_EQ(session.Open(runner.PortPath(), 115200), SerialStatus::Ok);
    EXPECT_FALSE(
        session.Send(ConfigWriteSentenceBody(false, std::u16string(300, u'9'), u"0")).Ok());
    // A query afterwards is answered on its own: nothing of the refused sentence reached the line.
    ASSERT_TRUE(session.Send(ConfigQuerySentenceBody()).Ok());
    std::optional<WorkerEvent> event;
    do {
        event = events.Pop(std::chrono::seconds(5));
    } while (event && event->kind != WorkerEvent::Kind::LogEntry);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->strText.rfind("VXs,", 0), 0u) << event->strText;
    EXPECT_EQ(runner.WithLogger([](SimLogger& l) { return l.BadSentences(); }), 0);
    EXPECT_EQ(runner.WithLogger([](SimLogger& l) { return l.Interval(); }), "5");
}

}  // namespace
