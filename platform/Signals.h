#pragma once

#include <string>

// Requests to stop a command-line program: Ctrl-C (SIGINT), SIGTERM and SIGHUP.
//
// A program that cancels cleanly (a download keeps what arrived) catches them with bEndAtOnce
// false, watches StopSignal() and ends with EndLikeStopSignal(). A program that has nothing to
// keep (a translation) catches them with bEndAtOnce true: the handler removes the registered
// temporary files and the program ends at once, with the status of the signal.
void CatchStopSignals(bool bEndAtOnce);
// Puts the previous handling back.
void ReleaseStopSignals();
// The signal caught since CatchStopSignals, 0 when none.
int StopSignal();
// Ends the program the way the caught signal would have (exit status 128 + the signal's number).
[[noreturn]] void EndLikeStopSignal();

// Temporary files that a program ended by a stop signal must not leave behind. At most a few at a
// time; paths longer than the registry holds are not registered.
void RegisterTempFile(const std::string& strPath);
void UnregisterTempFile(const std::string& strPath);
