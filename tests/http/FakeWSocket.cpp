#include "tests/http/FakeWSocket.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/StrUtils.h"

TFakeWSocket::TFakeWSocket(TComponent* AOwner, TQueueDispatcher* Queue)
    : TWSocketBase(AOwner), FOwnQueue(Queue ? nullptr : std::make_shared<TQueueDispatcher>()),
      FQueue(Queue ? Queue : FOwnQueue.get()) {}

TFakeWSocket::~TFakeWSocket() {
    BeginDestroy();
    CloseForDestroy();
}

// ---- calls recorded for the test ----

void TFakeWSocket::DnsLookup(const std::string& HostName) {
    if (!HostName.empty()) Calls.push_back("DnsLookup " + HostName);
    TWSocketBase::DnsLookup(HostName);
}

void TFakeWSocket::Close() {
    Calls.push_back("Close");
    TWSocketBase::Close();
}

void TFakeWSocket::CloseLater() {
    Calls.push_back("CloseLater");
    TWSocketBase::CloseLater();
}

void TFakeWSocket::Abort() {
    Calls.push_back("Abort");
    TWSocketBase::Abort();
}

// ---- raw operations ----

int TFakeWSocket::RawOpen(std::string& Msg) {
    if (ConnectError != 0) {
        const int e = ConnectError;
        ConnectError = 0;
        Msg = WSocketErrorMessage(e, "Connect");
        return e;
    }
    Calls.push_back("Connect " + FAddrStr + ":" + FPortStr);
    FOpen = true;
    BeginConnection();
    FInbound.clear();
    FReadArmed = true;
    FWriteArmed = false;
    FPeerClosed = FCloseBeforeRead = FCloseNotified = false;
    FPeerError = 0;
    FInFlight = 0;
    return 0;
}

int TFakeWSocket::RawStartConnect(std::string&, bool& Datagram) {
    Datagram = false;
    return 0;
}

int TFakeWSocket::SendRoom() const {
    int room = FSendWindow < 0 ? INT_MAX : FSendWindow - FInFlight;
    if (FSendChunk > 0) room = std::min(room, FSendChunk);
    return std::max(room, 0);
}

int TFakeWSocket::RawSend(const char* Data, int Len, int& Error) {
    if (!FOpen) {
        Error = WSocket_ENOTSOCK;
        return -1;
    }
    if (FPeerError != 0) {
        Error = FPeerError;
        return -1;
    }
    const int n = std::min(Len, SendRoom());
    if (n <= 0 && Len > 0) {
        FWriteArmed = true;
        Error = WSocket_EWOULDBLOCK;
        return -1;
    }
    Sent.append(Data, static_cast<size_t>(n));
    FInFlight += n;
    return n;
}

int TFakeWSocket::RawReceive(char* Buffer, int Len, int& Error) {
    if (!FOpen) {
        Error = WSocket_ENOTSOCK;
        return -1;
    }
    // Every read re-arms the read notification; it comes again at once while bytes remain.
    FReadArmed = true;
    if (!FInbound.empty()) {
        const size_t n = std::min(static_cast<size_t>(std::max(Len, 0)), FInbound.size());
        std::memcpy(Buffer, FInbound.data(), n);
        FInbound.erase(0, n);
        NotifyReadable();
        NotifyClosed();
        return static_cast<int>(n);
    }
    if (FPeerError != 0) {
        Error = FPeerError;
        return -1;
    }
    if (FPeerClosed) return 0;
    Error = WSocket_EWOULDBLOCK;
    return -1;
}

int TFakeWSocket::RawPending(int& Error) {
    if (!FOpen) {
        Error = WSocket_ENOTSOCK;
        return -1;
    }
    return static_cast<int>(FInbound.size());
}

int TFakeWSocket::RawClose(bool) {
    if (!FOpen) return 0;
    FOpen = false;
    FInbound.clear();
    FReadArmed = FWriteArmed = false;
    const int e = CloseError;
    CloseError = 0;
    return e;
}

void TFakeWSocket::Post(std::function<void()> Work) { FQueue->Post(std::move(Work)); }

int TFakeWSocket::RawStartLookup(const std::string&, bool) {
    if (LookupError != 0) {
        const int e = LookupError;
        LookupError = 0;
        return e;
    }
    ++FLookupId;
    return 0;
}

int TFakeWSocket::RawCancelLookup() {
    Calls.push_back("CancelDnsLookup");
    ++FLookupId;
    return 0;
}

bool TFakeWSocket::RawDottedAddress(const std::string& Name, std::string& Address) {
    Address = Trim(Name);
    return true;
}

// ---- the network ----

void TFakeWSocket::NotifyReadable() {
    if (!FReadArmed || FInbound.empty()) return;
    FReadArmed = false;
    PostSelect(wsfRead, 0);
}

void TFakeWSocket::NotifyWritable() {
    if (!FWriteArmed || SendRoom() == 0) return;
    FWriteArmed = false;
    PostSelect(wsfWrite, 0);
}

void TFakeWSocket::CompleteDnsLookup(uint16_t Error, const std::string& Address) {
    if (!DnsLookupRunning()) return;
    const unsigned id = FLookupId;
    PostStep([this, id, Error, Address] {
        if (id != FLookupId) return;  // cancelled or replaced meanwhile
        std::vector<std::string> results;
        if (Error == 0) results.push_back(Address);
        LookupDone(Error, results);
    });
    RunPosted();
}

void TFakeWSocket::CompleteConnect(uint16_t Error) {
    if (!FOpen || FState != wsConnecting) return;
    PostSelect(wsfConnect, Error);
    // A new connection can be written to at once.
    if (Error == 0) PostSelect(wsfWrite, 0);
    RunPosted();
}

void TFakeWSocket::Arrive(const std::string& Data) {
    if (!FOpen || FPeerClosed || Data.empty()) return;
    FInbound += Data;
    NotifyReadable();
}

void TFakeWSocket::Deliver(const std::string& Data) {
    Arrive(Data);
    RunPosted();
}

void TFakeWSocket::NotifyClosed() {
    if (!FPeerClosed || FCloseNotified || !(FInbound.empty() || FCloseBeforeRead)) return;
    FCloseNotified = true;
    PostSelect(wsfClose, FPeerError);
}

void TFakeWSocket::PeerClose(uint16_t Error) {
    if (!FOpen || FPeerClosed) return;
    FPeerClosed = true;
    FPeerError = Error;
    if (Error != 0) FInbound.clear();
    NotifyClosed();
    RunPosted();
}

void TFakeWSocket::PeerCloseBeforeRead() {
    FCloseBeforeRead = true;
    PeerClose(0);
}

void TFakeWSocket::LimitSends(int Chunk, int Window) {
    FSendChunk = std::max(Chunk, 0);
    FSendWindow = Window;
}

void TFakeWSocket::PeerReads(int Bytes) {
    FInFlight = Bytes < 0 ? 0 : std::max(FInFlight - Bytes, 0);
    NotifyWritable();
    RunPosted();
}

int TFakeWSocket::RunPosted(int MaxSteps) {
    std::shared_ptr<TQueueDispatcher> keep = FOwnQueue;
    TQueueDispatcher* queue = FQueue;
    return queue->RunPending(MaxSteps);
}
