#pragma once
// Where the socket meets the window system, kept in one place: the hidden window through
// which Winsock's notifications reach a socket, and the message pump its waits run
// (WSocketProcessMessages, TCustomWSocket::MessagePump, Flush, WaitForClose,
// TCustomSyncWSocket::WaitUntilReady). The program's single window binding and message pump
// take over from here: the window procedure then hands a socket's messages to
// TCustomWSocket::HandleMessage, and the waits call the program's pump.
#include <windows.h>

#include <functional>

class TCustomWSocket;

// A hidden window whose messages go to Socket; nullptr when none could be made.
HWND CreateSocketWindow(TCustomWSocket* Socket);
// Messages that still arrive no longer reach the socket (it is going).
void DetachSocketWindow(HWND Wnd);
void DestroySocketWindow(HWND Wnd);
// The last socket is gone: so is the window class.
void UnregisterSocketWindowClass();

// The thread's message pump used by waits: dispatches whatever is queued and returns.
// The application object may replace it (it then also decides when the program ends).
using TWSocketProcessMessagesProc = std::function<void()>;
void SetWSocketProcessMessagesProc(TWSocketProcessMessagesProc Proc);
void WSocketProcessMessages();
// Set once a WM_QUIT was taken from the queue by WSocketProcessMessages.
bool WSocketApplicationTerminated();
void WSocketSetApplicationTerminated(bool Value);
// Sleeps until a message arrives for this thread or Ms milliseconds have passed.
void WSocketWaitForInput(DWORD Ms);
