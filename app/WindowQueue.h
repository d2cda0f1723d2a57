#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class DialogHandler;

// The window's event queue: window messages and tasks posted from any thread, handled one at a
// time on the window's thread in posting order. The view supplies the waker, which must arrange
// one DispatchOne() call on the window's thread per post; because each call takes exactly one
// event, a nested event loop (a modal box) keeps handling the events posted after the one that
// opened it.
class WindowQueue {
  public:
    using Waker = std::function<void()>;

    explicit WindowQueue(Waker waker) : m_waker(std::move(waker)) {}
    WindowQueue(const WindowQueue&) = delete;
    WindowQueue& operator=(const WindowQueue&) = delete;

    void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam);
    void PostTask(std::function<void()> task);

    // Handles the oldest event: a message goes to the handler's OnWndMsg, a task is run. False when
    // the queue was empty.
    bool DispatchOne(DialogHandler& handler);

  private:
    struct Event {
        uint32_t nMessage = 0;
        uint32_t wParam = 0;
        uint32_t lParam = 0;
        std::function<void()> task;  // set for a task, empty for a message
    };

    void Push(Event event);

    mutable std::mutex m_mutex;
    std::deque<Event> m_events;
    Waker m_waker;
};
