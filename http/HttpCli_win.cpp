#include "http/HttpCli_win.h"

#include <memory>

#include "http/WSocket_win.h"
#include "http/Winsock_win.h"
#include "ui/MessagePump_win.h"

THttpCli* NewHttpCli(TComponent* AOwner) {
    static const bool waitInstalled = [] {
        // Wakes at least once a second so that the request's time limits are looked at.
        SetHttpWaitStep(
            [](const std::function<bool()>& Done) { return WaitHandlingMessages(Done, 1000) != wrQuit; });
        return true;
    }();
    (void)waitInstalled;
    auto* cli = new THttpCli(AOwner, std::make_unique<TWSocket>());
    cli->WorkstationName = [] { return LocalHostName(); };
    return cli;
}
