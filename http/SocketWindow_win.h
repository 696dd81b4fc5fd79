#pragma once
// Where the socket meets the window system: the hidden window through which Winsock's
// notifications reach a socket, bound and guarded like every window of ours, and the
// socket's waits, which run the program's one message pump.
#include <windows.h>

#include "ui/Window_win.h"

class TCustomWSocket;

// One socket's hidden window: Winsock's select, lookup and posted-work messages go to the
// socket; everything else to the default procedure.
class TSocketWindow : public TWindow {
public:
    // Throws when the system gives no window.
    explicit TSocketWindow(TCustomWSocket* Socket);
    // Messages that still arrive no longer reach the socket (it is going).
    void Detach() { FSocket = nullptr; }

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    TCustomWSocket* FSocket;
};
