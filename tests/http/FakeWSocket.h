#pragma once
// A scripted socket for native tests of code that drives a socket (the HTTP client). It is
// a transport under TWSocketBase like the Winsock one, so every event rule is the real
// socket's; the test plays the network: it answers lookups and connects, delivers bytes,
// closes or resets, and reads back what the code sent. The network behaves as Winsock does:
// a read notification comes only after a read re-armed it, a connect is followed by a write
// notification, a send may take only part of the bytes, and a write notification follows
// only a send that found no room at all, once there is room again. Notifications and
// deferred work wait in a queue, the test's message loop, which the network steps below
// (all but Arrive) run until it is empty.
#include <memory>
#include <string>
#include <vector>

#include "base/Dispatcher.h"
#include "http/WSocket.h"

class TFakeWSocket : public TWSocketBase {
public:
    // Queue: where notifications and deferred work are posted; share one with the code under
    // test to keep their order. Without one the socket keeps a queue of its own.
    explicit TFakeWSocket(TComponent* AOwner = nullptr, TQueueDispatcher* Queue = nullptr);
    ~TFakeWSocket() override;

    // What the code under test did, one entry per call: "DnsLookup <name>", "Connect
    // <addr>:<port>", "Close", "CloseLater", "Abort", "CancelDnsLookup".
    std::vector<std::string> Calls;
    // Every byte the network took from the socket, in order.
    std::string Sent;
    bool LookupRunning() const { return DnsLookupRunning(); }

    // ---- the network, driven by the test ----
    // Answers the running lookup (a failure with an error such as 11001).
    void CompleteDnsLookup(uint16_t Error, const std::string& Address = "127.0.0.1");
    // Ends the connect under way: accepted (0) or refused (10061).
    void CompleteConnect(uint16_t Error);
    // Bytes arrive (Arrive leaves the message loop alone).
    void Deliver(const std::string& Data);
    void Arrive(const std::string& Data);
    // The peer closes: gracefully (0; bytes not yet read stay readable, and the close is
    // reported once they were read) or with a reset (e.g. 10054; unread bytes are lost,
    // sends fail with it, and the close is reported at once).
    void PeerClose(uint16_t Error = 0);
    // A graceful close reported while bytes are still unread, as a Winsock may also do.
    void PeerCloseBeforeRead();
    // Short sends: each send takes at most Chunk bytes (0: no limit), and at most Window
    // bytes wait for the peer to read them (-1: no limit).
    void LimitSends(int Chunk, int Window = -1);
    // The peer reads Bytes (all with -1), making room for more.
    void PeerReads(int Bytes = -1);
    // Failures the next calls meet, each used once: Connect fails at once, a lookup cannot
    // start, closing the handle fails.
    int ConnectError = 0;
    int LookupError = 0;
    int CloseError = 0;

    // The message loop: runs queued work in order, including work queued meanwhile.
    int RunPosted(int MaxSteps = 10000);
    int PendingPosted() const { return static_cast<int>(FQueue->Pending()); }
    int Inbound() const { return static_cast<int>(FInbound.size()); }

    void DnsLookup(const std::string& HostName) override;
    void Close() override;
    void CloseLater() override;
    void Abort() override;
    void MessagePump() override { RunPosted(); }

protected:
    bool HasHandle() const override { return FOpen; }
    int RawOpen(std::string& Msg) override;
    int RawStartConnect(std::string& Msg, bool& Datagram) override;
    int RawSend(const char* Data, int Len, int& Error) override;
    int RawReceive(char* Buffer, int Len, int& Error) override;
    int RawPending(int& Error) override;
    int RawClose(bool Shut) override;
    void Post(std::function<void()> Work) override;
    int RawStartLookup(const std::string& Name, bool Reverse) override;
    int RawCancelLookup() override;
    bool RawDottedAddress(const std::string& Name, std::string& Address) override;

private:
    void NotifyReadable();
    void NotifyWritable();
    void NotifyClosed();
    int SendRoom() const;
    // Shared so that a run of the queue outlives a handler that frees the socket.
    std::shared_ptr<TQueueDispatcher> FOwnQueue;
    TQueueDispatcher* FQueue;
    bool FOpen = false;
    std::string FInbound;
    bool FReadArmed = false;
    bool FWriteArmed = false;
    bool FPeerClosed = false;
    bool FCloseBeforeRead = false;
    bool FCloseNotified = false;
    uint16_t FPeerError = 0;
    int FSendChunk = 0;
    int FSendWindow = -1;
    int FInFlight = 0;
    unsigned FLookupId = 0;
};
