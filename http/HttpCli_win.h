#pragma once
// The HTTP client of the Windows program: over a Winsock socket, its synchronous requests
// waiting in the one message pump.
#include "http/HttpCli.h"

// A client over a new TWSocket, owned by AOwner (by the caller when AOwner is null). The
// first call installs RequestSync's wait: the message pump, asleep between messages.
THttpCli* NewHttpCli(TComponent* AOwner = nullptr);
