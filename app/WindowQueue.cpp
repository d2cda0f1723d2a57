#include "WindowQueue.h"

#include "DialogHandler.h"

void WindowQueue::PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) {
    Push(Event{nMessage, wParam, lParam, {}});
}

void WindowQueue::PostTask(std::function<void()> task) {
    Event event;
    event.task = std::move(task);
    Push(std::move(event));
}

void WindowQueue::Push(Event event) {
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    // Outside the lock: the waker may post into the toolkit's own queue.
    if (m_waker) m_waker();
}

bool WindowQueue::DispatchOne(DialogHandler& handler) {
    Event event;
    {
        std::lock_guard lock(m_mutex);
        if (m_events.empty()) return false;
        event = std::move(m_events.front());
        m_events.pop_front();
    }
    if (event.task) {
        event.task();
    } else {
        intptr_t nResult = 0;
        (void)handler.OnWndMsg(event.nMessage, event.wParam, event.lParam, &nResult);
    }
    return true;
}
