#pragma once

#include <chrono>
#include <thread>

#include "protocol/ReceiveWorker.h"

// A ReceiveWorker on its own thread with a test's own read function, and the stop handshake.
class WorkerThread {
  public:
    ~WorkerThread() { static_cast<void>(Stop()); }
    [[nodiscard]] bool Start(ReceiveWorker& worker, PortRead read) {
        m_pWorker = &worker;
        worker.Flags().m_bStopWorker.store(0);
        m_thread = std::thread([&worker, read = std::move(read)] { worker.Run(read); });
        return true;
    }
    // Whether the worker answered the stop request within 2 s.
    bool Stop() {
        if (!m_thread.joinable()) return true;
        std::atomic<int32_t>& stop = m_pWorker->Flags().m_bStopWorker;
        stop.store(1);
        for (int i = 0; i < 200 && stop.load() != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool bAnswered = stop.load() == 0;
        m_thread.join();
        return bAnswered;
    }

  private:
    ReceiveWorker* m_pWorker = nullptr;
    std::thread m_thread;
};
