#pragma once
// The socket's contract, held against both transports: the Winsock socket with a real peer
// on 127.0.0.1 under Wine, and the scripted double natively. Each test executable supplies
// MakeSocketRig; the tests (SocketContractTest.cpp) are written once against the rig.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/Component.h"
#include "http/WSocket.h"

class TSocketRig : public TComponent {
public:
    enum TTarget { tgPeer, tgClosedPort, tgUnknownHost };

    TWSocketBase& Socket() { return *FSocket; }
    // Hands the socket over, so that a handler may free it.
    TWSocketBase* Release() { return FOwned.release(); }
    // Sets Addr, Port and Proto for a peer that accepts, a port where nobody listens or a
    // host no resolver knows, and calls Connect.
    virtual void StartConnect(TTarget Target = tgPeer) = 0;
    virtual std::string UnknownHost() = 0;
    // The far end of the connection.
    virtual void PeerSend(const std::string& Data) = 0;
    virtual void PeerClose() = 0;
    virtual void PeerReset() = 0;
    // Everything the peer has received so far; it reads what waits.
    virtual std::string PeerReceived() = 0;
    // More bytes than the network holds while the peer does not read.
    virtual size_t BigBlock() = 0;
    // The socket's handle stops working behind its back, so that closing it fails.
    virtual void BreakHandle() = 0;
    // Runs the message loop until Done holds (bounded in time); false when it never did.
    virtual bool PumpUntil(const std::function<bool()>& Done) = 0;
    // Lets whatever is still on its way happen.
    virtual void Settle() = 0;

protected:
    void Adopt(TWSocketBase* S) {
        FOwned.reset(S);
        FSocket = S;
        FreeNotification(S);
    }
    void Notification(TComponent* C, TOperation Op) override {
        if (Op == opRemove && C == FSocket) FSocket = nullptr;
    }
    // Null once a handler freed it.
    TWSocketBase* FSocket = nullptr;

private:
    std::unique_ptr<TWSocketBase> FOwned;
};

std::unique_ptr<TSocketRig> MakeSocketRig();
