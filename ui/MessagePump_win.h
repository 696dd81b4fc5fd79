#pragma once
// The one message pump of the GUI thread, used by the application's loop and by every
// wait that handles messages meanwhile (the popup's animations, the socket's waits, the
// HTTP client's synchronous request).
//
// The WM_QUIT rule: a wait that takes WM_QUIT from the queue posts it again for the outer
// loop and ends, and every wait ends at once while a WM_QUIT is queued, so the queue
// itself remembers that the program is quitting until the application's loop takes it.
#include <windows.h>

#include <functional>

// What the application does with a message before it is dispatched (dialog keys, Ctrl+Tab
// on a page control); true when it used the message up.
using TMessageHook = std::function<bool(MSG& Msg)>;
// Installs the hook for the calling thread's loops (null removes it); the application
// object does, for its lifetime.
void SetMessageHook(TMessageHook Hook);

// One message as the application's loop handles it: the hook, then translate and dispatch.
void HandleMessage(MSG& Msg);

// True while a WM_QUIT waits in this thread's queue: the program is ending.
bool QuitPending();

// Handles every message waiting in the queue, then returns. False when the program is
// quitting (the WM_QUIT stays queued, and nothing more is handled).
bool HandlePendingMessages();

enum TWaitResult { wrDone, wrTimeout, wrQuit };
// Handles messages until Done() is true or Timeout milliseconds have passed (INFINITE
// waits without limit), asleep in the system's message wait between them. Done() is asked
// before the first wait and after every batch of messages.
TWaitResult WaitHandlingMessages(const std::function<bool()>& Done, DWORD Timeout);
// Handles messages for Milliseconds; false when the program is quitting.
bool SleepHandlingMessages(DWORD Milliseconds);
