#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/ReceiveEngine.h"

// One thing the worker reported, as it waits in the queue for the receiving thread.
struct WorkerEvent {
    enum class Kind { LogEntry, Interval, Distance, SettingsEnabled, Progress, Done, PortLost };
    Kind kind = Kind::LogEntry;
    std::string strText;   // LogEntry, Interval, Distance: ANSI text
    uint32_t nFirst = 0;   // Progress: announced count; Done: the DownloadResult
    uint32_t nSecond = 0;  // Progress: records so far (0 at the start)
};

// WorkerEvents as a thread-safe FIFO: the worker pushes and never waits; another thread pops in
// posting order.
class WorkerEventQueue : public WorkerEvents {
  public:
    void LineReceived(std::string_view text) override {
        Push({WorkerEvent::Kind::LogEntry, std::string(text), 0, 0});
    }
    void IntervalReceived(std::string_view value) override {
        Push({WorkerEvent::Kind::Interval, std::string(value), 0, 0});
    }
    void DistanceReceived(std::string_view value) override {
        Push({WorkerEvent::Kind::Distance, std::string(value), 0, 0});
    }
    void SettingsReceived() override { Push({WorkerEvent::Kind::SettingsEnabled, {}, 0, 0}); }
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        Push({WorkerEvent::Kind::Progress, {}, nAnnounced, nReceived});
    }
    void DownloadEnded(DownloadResult result) override {
        Push({WorkerEvent::Kind::Done, {}, static_cast<uint32_t>(result), 0});
    }
    void PortGone() override { Push({WorkerEvent::Kind::PortLost, {}, 0, 0}); }

    // The oldest event, waiting at most nTimeout for one.
    std::optional<WorkerEvent> Pop(std::chrono::milliseconds nTimeout) {
        std::unique_lock lock(m_mutex);
        if (!m_ready.wait_for(lock, nTimeout, [this] { return !m_events.empty(); })) {
            return std::nullopt;
        }
        WorkerEvent event = std::move(m_events.front());
        m_events.pop_front();
        return event;
    }

  private:
    void Push(WorkerEvent event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
        }
        m_ready.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<WorkerEvent> m_events;
};

// How waiting for a download's end went.
struct DownloadWait {
    std::optional<uint32_t> result;  // the DownloadResult; nothing when a stop came first
    uint32_t nAnnounced = 0;         // the count line's number, 0 until it came
};

// The one wait for a download: the logger's lines and the progress are handed on as they come,
// until the worker reports the end or stop() (asked at least every 100 ms) says to give up.
DownloadWait AwaitDownloadEnd(
    WorkerEventQueue& events, const std::function<bool()>& stop,
    const std::function<void(const std::string&)>& onLine,
    const std::function<void(uint32_t nReceived, uint32_t nAnnounced)>& onProgress);
