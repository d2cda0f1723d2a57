#include "Signals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include "Text.h"
#else
#include <unistd.h>
#endif

namespace {

constexpr int kSlots = 8;
constexpr size_t kMaxPath = 4096;

// The handler may run at any moment: the registry is fixed storage, claimed and released with an
// atomic flag per slot, and the handler only reads slots that are fully written.
struct TempSlot {
    std::atomic<int> nState{0};  // 0 free, 1 being written, 2 registered
    char szPath[kMaxPath];
#ifdef _WIN32
    wchar_t wszPath[kMaxPath];
#endif
};
TempSlot g_slots[kSlots];
// Threads that write files side by side register and release them under this lock, so that one
// never reads a slot's path while another writes it; the handler takes no lock.
std::mutex g_registryMutex;

volatile std::sig_atomic_t g_nStopSignal = 0;
bool g_bEndAtOnce = false;
bool g_bCaught = false;

constexpr int kStopSignals[] = {
    SIGINT,
#ifndef _WIN32
    SIGTERM,
    SIGHUP,
#endif
};

void RemoveRegistered() {
    for (TempSlot& slot : g_slots) {
        if (slot.nState.load() != 2) continue;
#ifdef _WIN32
        ::DeleteFileW(slot.wszPath);
#else
        ::unlink(slot.szPath);
#endif
    }
}

void OnStopSignal(int nSignal) {
    g_nStopSignal = nSignal;
    if (!g_bEndAtOnce) return;
    RemoveRegistered();
    std::signal(nSignal, SIG_DFL);
    std::raise(nSignal);
}

#ifndef _WIN32
struct sigaction g_previous[3];
#else
void (*g_previous[1])(int);
#endif

}  // namespace

void CatchStopSignals(bool bEndAtOnce) {
    g_bEndAtOnce = bEndAtOnce;
    g_nStopSignal = 0;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
#ifdef _WIN32
        g_previous[i] = std::signal(kStopSignals[i], OnStopSignal);
#else
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(kStopSignals[i], &action, &g_previous[i]);
#endif
    }
    g_bCaught = true;
}

void ReleaseStopSignals() {
    if (!g_bCaught) return;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
#ifdef _WIN32
        std::signal(kStopSignals[i], g_previous[i]);
#else
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
#endif
    }
    g_bCaught = false;
}

int StopSignal() {
    return g_nStopSignal;
}

void EndLikeStopSignal() {
    const int nSignal = g_nStopSignal != 0 ? g_nStopSignal : SIGINT;
    ReleaseStopSignals();
    std::signal(nSignal, SIG_DFL);
    std::raise(nSignal);
    std::_Exit(128 + nSignal);
}

void RegisterTempFile(const std::string& strPath) {
    if (strPath.size() >= kMaxPath) return;
    const std::lock_guard lock(g_registryMutex);
    for (TempSlot& slot : g_slots) {
        int nFree = 0;
        if (!slot.nState.compare_exchange_strong(nFree, 1)) continue;
        std::memcpy(slot.szPath, strPath.c_str(), strPath.size() + 1);
#ifdef _WIN32
        const std::wstring wPath = WidenUtf8(strPath);
        if (wPath.size() >= kMaxPath) {
            slot.nState.store(0);
            return;
        }
        std::memcpy(slot.wszPath, wPath.c_str(), (wPath.size() + 1) * sizeof(wchar_t));
#endif
        slot.nState.store(2);
        return;
    }
}

void UnregisterTempFile(const std::string& strPath) {
    const std::lock_guard lock(g_registryMutex);
    for (TempSlot& slot : g_slots) {
        if (slot.nState.load() == 2 && strPath == slot.szPath) {
            slot.nState.store(0);
            return;
        }
    }
}
