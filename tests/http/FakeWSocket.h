#pragma once
// A scripted socket for native tests of code that drives a socket (the HTTP client): the
// test plays the network by completing lookups and connects, delivering bytes and closing,
// and reads back what the code sent. Events come in the same order as from TWSocket, and
// work that TWSocket posts to its window (OnDataSent after a send, CloseLater) waits in a
// queue until the test runs it with RunPosted().
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "http/WSocket.h"

class TFakeWSocket : public TWSocketBase {
public:
    explicit TFakeWSocket(TComponent* AOwner = nullptr) : TWSocketBase(AOwner) {}

    // What the code under test did, one entry per call: "DnsLookup <name>", "Connect
    // <addr>:<port>", "Close", "CloseLater", "Abort", "CancelDnsLookup".
    std::vector<std::string> Calls;
    // Every byte given to Send or PutDataInSendBuffer, in order.
    std::string Sent;
    bool LookupRunning() const { return FLookupRunning; }

    // Network side, driven by the test.
    void CompleteDnsLookup(uint16_t Error, const std::string& Address = "127.0.0.1");
    void CompleteConnect(uint16_t Error);
    // Bytes arrive: OnDataAvailable fires while the handler keeps reading; without a handler
    // the bytes are discarded, as the real socket does.
    void Deliver(const std::string& Data);
    // The peer closes (or resets, with an error): pending bytes are delivered first.
    void PeerClose(uint16_t Error = 0);
    // Runs the posted work in order, including work posted while it runs; returns the count.
    int RunPosted(int MaxSteps = 1000);
    int PendingPosted() const { return static_cast<int>(FPosted.size()); }
    int Inbound() const { return static_cast<int>(FInbound.size()); }

    void DnsLookup(const std::string& HostName) override;
    void CancelDnsLookup() override;
    void Connect() override;
    int Send(const void* Data, int Len) override;
    void PutDataInSendBuffer(const void* Data, int Len) override;
    int Receive(void* Buffer, int Len) override;
    int RcvdCount() override { return static_cast<int>(FInbound.size()); }
    void Close() override;
    void CloseLater() override;
    void Abort() override;
    void MessagePump() override { RunPosted(); }

private:
    void InternalClose(uint16_t Error);
    void ReceiveLoop(uint16_t Error);
    std::string FInbound;
    std::deque<std::function<void()>> FPosted;
    bool FLookupRunning = false;
};
