#pragma once
// The Winsock socket: one hidden window per socket receives Winsock's notifications and
// turns them into events, so nothing ever blocks on the network. Layers, each a class:
// TCustomWSocket > TCustomSocksWSocket > TCustomLineWSocket > TCustomSyncWSocket > TWSocket.
#include <winsock2.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "http/WSockBuf.h"
#include "http/WSocket.h"

enum : UINT {
    WM_SOCKET_SELECT = WM_USER + 1,
    WM_SOCKET_HOSTBYNAME = WM_USER + 2,
    WM_SOCKET_HOSTBYADDR = WM_USER + 3,
    WM_SOCKET_CLOSE_DELAYED = WM_USER + 4,
    WM_SOCKET_RELEASE = WM_USER + 5,
    WM_SOCKET_TEST = WM_USER + 6,
    WM_SOCKET_LINE_TRIGGER = WM_USER + 20,
};

// Requested Winsock version; may change only while the library is not loaded.
BYTE WSocketReqVerLow();
BYTE WSocketReqVerHigh();
void WSocketSetReqVerLow(BYTE Value);
void WSocketSetReqVerHigh(BYTE Value);
// True while wsock32.dll is loaded (some socket or call holds it).
bool WSocketLibraryLoaded();
// Live sockets (and calls) holding the library.
int WSocketLiveCount();
// Lookup buffers kept because a lookup was abandoned while Winsock could still write.
int WSocketAbandonedLookupBuffers();

// Resolvers; they throw ESocketException. Results in network byte order.
u_long WSocketResolveHost(const std::string& InAddr);
u_short WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);
std::string LocalHostName();

// The thread's message pump used by waits: dispatches whatever is queued and returns.
// The application object may replace it (it then also decides when the program ends).
using TWSocketProcessMessagesProc = std::function<void()>;
void SetWSocketProcessMessagesProc(TWSocketProcessMessagesProc Proc);
void WSocketProcessMessages();
// Set once a WM_QUIT was taken from the queue by WSocketProcessMessages.
bool WSocketApplicationTerminated();
void WSocketSetApplicationTerminated(bool Value);

LRESULT CALLBACK XSocketWindowProc(HWND hWnd, UINT Msg, WPARAM WParam, LPARAM LParam);

class TCustomWSocket : public TWSocketBase {
public:
    explicit TCustomWSocket(TComponent* AOwner = nullptr);
    ~TCustomWSocket() override;

    int RcvdCount() override;
    std::string PeerAddr();
    std::string PeerPort();
    int GetPeerName(sockaddr_in& Name);
    int GetSockName(sockaddr_in& Name);
    std::string GetXPort();
    std::string GetXAddr();

    HWND Handle() const { return FWindowHandle; }
    SOCKET HSocket() const { return FHSocket; }
    DWORD ThreadId() const { return FThreadId; }
    bool AllSent() const { return FAllSent; }
    int BufferedByteCount() const;
    bool Terminated() const { return FTerminated; }

    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    TWSocketOptions ComponentOptions = 0;
    int ListenBacklog = 5;
    // Seconds Flush and WaitForClose may wait for a peer before giving up.
    int FlushTimeout = 60;
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags Value);
    // SO_LINGER at connect time; a graceful Close never lets a zero linger time reset
    // away data that Winsock still holds.
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;
    BYTE ReqVerLow() const { return WSocketReqVerLow(); }
    void SetReqVerLow(BYTE Value);
    BYTE ReqVerHigh() const { return WSocketReqVerHigh(); }
    void SetReqVerHigh(BYTE Value);

    void DnsLookup(const std::string& HostName) override;
    virtual void ReverseDnsLookup(const std::string& HostAddr);
    void CancelDnsLookup() override;
    void Connect() override;
    int Send(const void* Data, int Len) override;
    virtual int SendTo(const sockaddr_in& Dest, const void* Data, int Len);
    void PutDataInSendBuffer(const void* Data, int Len) override;
    int Receive(void* Buffer, int Len) override;
    virtual std::string ReceiveStr();
    virtual int ReceiveFrom(void* Buffer, int Len, sockaddr_in& From);
    void Close() override;
    void CloseLater() override;
    virtual void ReleaseLater();
    void Abort() override;
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Listen();
    virtual SOCKET Accept();
    // Adopts a connected handle (one returned by a listening socket's Accept).
    virtual void Dup(SOCKET NewHSocket);
    virtual void ShutDown(int How);
    virtual void Pause();
    virtual void Resume();
    void MessagePump() override;

protected:
    friend LRESULT CALLBACK XSocketWindowProc(HWND, UINT, WPARAM, LPARAM);
    // True when the message was one of the socket's own.
    virtual bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
    void AssignDefaultValue() override;
    virtual void TryToSend();
    virtual void InternalClose(bool bShut, uint16_t Error);
    virtual void InternalAbort(uint16_t ErrCode);
    // False once the failure was raised (OnError assigned).
    virtual bool BindSocket();
    virtual int RealSend(const char* Data, int Len);
    void RaiseExceptionFmt(const char* Fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Reads WSAGetLastError, closes on a lost connection, then raises the formatted text.
    void SocketError(const std::string& Func);

    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnectedSpecial(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerDnsLookupDone(uint16_t Error);
    void TriggerSendData(int BytesSent);
    // The raw receive primitives; every byte taken from Winsock counts in ReadCount.
    virtual int DoRecv(void* Buffer, int Len, int Flags);
    virtual int DoRecvFrom(void* Buffer, int Len, int Flags, sockaddr_in& From);

    virtual void Do_FD_CONNECT(uint16_t Error);
    virtual void Do_FD_READ(uint16_t Error);
    virtual void Do_FD_WRITE(uint16_t Error);
    virtual void Do_FD_ACCEPT(uint16_t Error);
    virtual void Do_FD_CLOSE(uint16_t Error);
    void ASyncReceive(uint16_t Error, TWSocketOptions Options);
    void DeleteBufferedData();
    // A fresh handle for Connect or Listen, with the per-connection flags reset; false
    // (the error reported as ErrorContext) when Winsock gives none.
    bool OpenHandle(const char* ErrorContext);
    void SetLingerOption();

    HWND FWindowHandle = nullptr;
    DWORD FThreadId = 0;
    SOCKET FHSocket = INVALID_SOCKET;
    int FAddrFormat = AF_INET;
    int FType = SOCK_STREAM;
    int FProto = IPPROTO_TCP;
    sockaddr_in FSin{};
    u_short FLocalPortNum = 0;
    long FSelectEvent = 0;
    bool FPaused = false;
    bool FAllSent = true;
    bool FTerminated = false;
    int FSendFlags = 0;
    TSendQueue FSendQueue{1460};
    HANDLE FDnsLookupHandle = nullptr;
    bool FDnsLookupStarting = false;
    bool FDnsLookupCheckMsg = false;
    UINT FDnsSavedMsg = 0;
    WPARAM FDnsSavedWParam = 0;
    LPARAM FDnsSavedLParam = 0;
    std::unique_ptr<char[]> FDnsLookupBuffer;
    bool FReadMore = false;
    unsigned FRecvProgress = 0;  // bumped by every successful read from Winsock
    unsigned FHandleGen = 0;     // bumped by every new handle

private:
    void HandleHostMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
    void StartAsyncLookup(bool Reverse, const std::string& Name, u_long Addr);
    void OrphanLookupBuffer();
    // Drops a handle that never reached a state worth reporting (failed listen).
    void DropHandle();
    void PurgeSelectMessages();
    // Lookup buffers Winsock may still write into after their lookup was cancelled.
    std::deque<std::pair<HANDLE, std::unique_ptr<char[]>>> FOrphanBuffers;
    unsigned FMagic;
    bool FCountHeld = false;
};

// Connects through a SOCKS server once that layer is configured; without one it is the
// plain socket, which is all this program uses.
class TCustomSocksWSocket : public TCustomWSocket {
public:
    using TCustomWSocket::TCustomWSocket;
};

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    explicit TCustomLineWSocket(TComponent* AOwner = nullptr);

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    const std::string& LineEnd() const { return FLineEnd; }
    void SetLineEnd(const std::string& Value);
    int LineLimit = 65536;
    bool LineEcho = false;
    bool LineEdit = false;
    TLineLimitEvent OnLineLimitExceeded;

    int Receive(void* Buffer, int Len) override;
    int RcvdCount() override;
    virtual int SendLine(const std::string& Str);
    // Bytes held by the line layer, not yet handed out.
    int LineBufferedCount() const { return static_cast<int>(FRcvdBuf.size()); }

protected:
    bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    virtual void TriggerLineLimitExceeded(int Cnt, bool& ClearData);
    virtual void EditLine(size_t From);
    void AssignDefaultValue() override;

private:
    bool LineActive() const { return FLineMode && !FLineEnd.empty(); }
    // Delivers buffered bytes with OnDataAvailable while a handler keeps taking them.
    bool DeliverRawBuffer();
    // Offers the current line (FLineLength bytes) while line mode holds and a handler keeps
    // reading it; false when a handler freed the socket.
    bool OfferLine(uint16_t Error);
    bool FLineMode = false;
    std::string FLineEnd = "\r\n";
    std::string FRcvdBuf;
    size_t FLineLength = 0;  // unread bytes of the line being delivered
    bool FRescan = false;
    bool FLineFound = false;
};

class TCustomSyncWSocket : public TCustomLineWSocket {
public:
    using TCustomLineWSocket::TCustomLineWSocket;
    // Milliseconds a wait may last; 0 waits without limit.
    DWORD Timeout = 0;
    // 0 once DoneFlag is non-zero; WSocket_ETIMEOUT on time-out, program end or when the
    // own pump saw WM_QUIT.
    virtual int WaitUntilReady(const int& DoneFlag);
    virtual int Synchronize(const std::function<void()>& Proc, int& DoneFlag);
};

class TWSocket : public TCustomSyncWSocket {
public:
    using TCustomSyncWSocket::TCustomSyncWSocket;
};
