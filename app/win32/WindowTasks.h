#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

// Tasks for a window's thread from any thread, in the order they were posted: each Post queues
// one and posts the message to the window, whose procedure runs one task a message.
class WindowTasks {
  public:
    explicit WindowTasks(UINT nMessage) : m_nMessage(nMessage) {}

    UINT Message() const { return m_nMessage; }
    void Post(HWND hWnd, std::function<void()> task) {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        ::PostMessageW(hWnd, m_nMessage, 0, 0);
    }
    // On the window's thread, for one message.
    void RunNext() {
        std::function<void()> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_tasks.empty()) return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }

  private:
    const UINT m_nMessage;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
};
