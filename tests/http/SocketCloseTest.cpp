// The socket's close rule over the double: OnSessionClosed comes once per connection, also
// when a handler closes the socket while the peer's close is being handled.
#include <gtest/gtest.h>

#include <string>

#include "tests/http/FakeWSocket.h"

TEST(SocketCloseOnce, HandlerThatClosesDuringThePeersCloseHearsItOnce) {
    TFakeWSocket sock;
    std::string events;
    sock.OnSessionClosed = [&](TObject*, uint16_t e) { events += "Closed " + std::to_string(e) + "; "; };
    // A handler that gives up on a failed read: it closes while the reset is being handled.
    sock.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[16];
        if (sock.Receive(buf, sizeof buf) < 0) sock.Close();
    };
    sock.SetAddr("127.0.0.1");
    sock.SetPort("80");
    sock.Connect();
    sock.CompleteConnect(0);
    sock.PeerClose(WSocket_ECONNRESET);
    EXPECT_EQ(events, "Closed 0; ");
    EXPECT_EQ(sock.State(), wsClosed);
}
