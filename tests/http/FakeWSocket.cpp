#include "tests/http/FakeWSocket.h"

#include <algorithm>
#include <cstring>

void TFakeWSocket::DnsLookup(const std::string& HostName) {
    if (HostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        Raise(OnDnsLookupDone, this, static_cast<uint16_t>(WSocket_EINVAL));
        return;
    }
    Calls.push_back("DnsLookup " + HostName);
    // Like the real socket, a new lookup first ends a running one with WSAEINTR.
    if (FLookupRunning) {
        FLookupRunning = false;
        auto life = LifeToken();
        Raise(OnDnsLookupDone, this, static_cast<uint16_t>(WSocket_EINTR));
        if (!*life) return;
    }
    FDnsResult.clear();
    FDnsResultList.Clear();
    if (WSocketIsDottedIP(HostName)) {
        // Like the real socket: a dotted address answers before DnsLookup returns.
        FDnsResult = HostName.substr(HostName.find_first_not_of(' '));
        FDnsResult = FDnsResult.substr(0, FDnsResult.find(' '));
        FDnsResultList.Add(FDnsResult);
        Raise(OnDnsLookupDone, this, static_cast<uint16_t>(0));
        return;
    }
    FLookupRunning = true;
}

void TFakeWSocket::CompleteDnsLookup(uint16_t Error, const std::string& Address) {
    if (!FLookupRunning) return;
    FLookupRunning = false;
    if (Error == 0) {
        FDnsResult = Address;
        FDnsResultList.Add(Address);
    }
    Raise(OnDnsLookupDone, this, Error);
}

void TFakeWSocket::CancelDnsLookup() {
    if (!FLookupRunning) return;
    Calls.push_back("CancelDnsLookup");
    FLookupRunning = false;
    if (!Destroying()) Raise(OnDnsLookupDone, this, static_cast<uint16_t>(WSocket_EINTR));
}

void TFakeWSocket::Connect() {
    if (FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!HasConnectTarget()) return;
    Calls.push_back("Connect " + FAddrStr + ":" + FPortStr);
    auto life = LifeToken();
    ChangeState(wsOpened);
    if (!*life) return;
    ChangeState(wsConnecting);
}

void TFakeWSocket::CompleteConnect(uint16_t Error) {
    if (FState != wsConnecting) return;
    auto life = LifeToken();
    ChangeState(wsConnected);
    if (!*life) return;
    Raise(OnSessionConnected, this, Error);
    if (!*life) return;
    if (Error != 0 && FState != wsClosed) Close();
}

int TFakeWSocket::Send(const void* Data, int Len) {
    if (FState != wsConnected) {
        // Like the real socket: a connection that is not up yet is dropped and reported.
        if (FState != wsClosed) {
            auto life = LifeToken();
            if (!FCloseInvoked) {
                FCloseInvoked = true;
                Raise(OnSessionClosed, this, static_cast<uint16_t>(WSocket_ENOTCONN));
                if (!*life) return -1;
            }
            ChangeState(wsClosed);
            if (!*life) return -1;
        }
        FLastError = WSocket_ENOTCONN;
        RaiseException(WSocketErrorMessage(WSocket_ENOTCONN, "Send"));
        return -1;
    }
    if (Len > 0) PutDataInSendBuffer(Data, Len);
    // The real socket reports the drained queue from the message loop.
    auto life = LifeToken();
    FPosted.push_back([this, life] {
        if (*life && FState == wsConnected) Raise(OnDataSent, this, static_cast<uint16_t>(0));
    });
    return std::max(Len, 0);
}

void TFakeWSocket::PutDataInSendBuffer(const void* Data, int Len) {
    if (Data && Len > 0) Sent.append(static_cast<const char*>(Data), static_cast<size_t>(Len));
}

int TFakeWSocket::Receive(void* Buffer, int Len) {
    if (!Buffer || Len < 0) return -1;
    if (FState != wsConnected) {
        FLastError = WSocket_ENOTCONN;
        return -1;
    }
    size_t n = std::min(static_cast<size_t>(Len), FInbound.size());
    if (n == 0) {
        FLastError = WSocket_EWOULDBLOCK;
        return -1;
    }
    std::memcpy(Buffer, FInbound.data(), n);
    FInbound.erase(0, n);
    FReadCount += static_cast<int>(n);
    return static_cast<int>(n);
}

void TFakeWSocket::ReceiveLoop(uint16_t Error) {
    auto life = LifeToken();
    while (!FInbound.empty() && FState == wsConnected) {
        size_t before = FInbound.size();
        FLastError = 0;
        if (!OnDataAvailable) {
            FReadCount += static_cast<int>(FInbound.size());
            FInbound.clear();
            break;
        }
        try {
            OnDataAvailable(this, Error);
        } catch (...) {
            // The real socket swallows what a data handler throws and stops delivering.
            return;
        }
        if (!*life) return;
        if (FInbound.size() == before || FLastError != 0) break;
    }
}

void TFakeWSocket::Deliver(const std::string& Data) {
    if (FState != wsConnected) return;
    FInbound += Data;
    ReceiveLoop(0);
}

void TFakeWSocket::PeerClose(uint16_t Error) {
    if (FState != wsConnected) return;
    auto life = LifeToken();
    ReceiveLoop(0);
    if (!*life) return;
    if (!FCloseInvoked) {
        FCloseInvoked = true;
        Raise(OnSessionClosed, this, Error);
        if (!*life) return;
    }
    if (FState != wsClosed) Close();
}

void TFakeWSocket::InternalClose(uint16_t Error) {
    if (FState == wsClosed) return;
    auto life = LifeToken();
    FInbound.clear();
    ChangeState(wsClosed);
    if (!*life) return;
    if (!Destroying() && !FCloseInvoked) {
        FCloseInvoked = true;
        Raise(OnSessionClosed, this, Error);
        if (!*life) return;
    }
    if (FState == wsClosed) AssignDefaultValue();
}

void TFakeWSocket::Close() {
    Calls.push_back("Close");
    InternalClose(0);
}

void TFakeWSocket::CloseLater() {
    Calls.push_back("CloseLater");
    auto life = LifeToken();
    FPosted.push_back([this, life] {
        if (*life) InternalClose(0);
    });
}

void TFakeWSocket::Abort() {
    Calls.push_back("Abort");
    CancelDnsLookup();
    InternalClose(0);
}

int TFakeWSocket::RunPosted(int MaxSteps) {
    int n = 0;
    auto life = LifeToken();
    while (!FPosted.empty() && n < MaxSteps) {
        auto step = std::move(FPosted.front());
        FPosted.pop_front();
        step();
        ++n;
        if (!*life) break;
    }
    return n;
}
