#pragma once
// The Winsock socket: Winsock's notifications reach a hidden window of the socket and go to
// the event rules of TWSocketBase, so nothing ever blocks on the network. Layers, each a
// class: TCustomWSocket > TCustomSocksWSocket > TCustomLineWSocket > TCustomSyncWSocket >
// TWSocket. The code: the Winsock transport (WSocket_win.cpp), server, datagram and raw
// sockets (WSocketServer_win.cpp), line mode over a portable line buffer
// (LineWSocket_win.cpp), the window and the waits (SocketWindow_win.cpp), the library and
// the resolvers (Winsock_win.cpp).
#include <winsock2.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "http/LineBuffer.h"
#include "http/SocketWindow_win.h"
#include "http/WSocket.h"
#include "http/Winsock_win.h"

enum : UINT {
    WM_SOCKET_SELECT = WM_USER + 1,
    WM_SOCKET_HOSTBYNAME = WM_USER + 2,
    WM_SOCKET_HOSTBYADDR = WM_USER + 3,
    WM_SOCKET_TEST = WM_USER + 6,
    // Work the socket posted to itself: a deferred close, the report of a drained queue,
    // a release, another pass of line mode. One message runs one piece, in posting order.
    WM_SOCKET_POSTED = WM_USER + 7,
};

class TCustomWSocket : public TWSocketBase {
public:
    explicit TCustomWSocket(TComponent* AOwner = nullptr);
    ~TCustomWSocket() override;

    std::string PeerAddr();
    std::string PeerPort();
    int GetPeerName(sockaddr_in& Name);
    int GetSockName(sockaddr_in& Name);
    std::string GetXPort();
    std::string GetXAddr();

    HWND Handle() const { return FWindow ? FWindow->Handle() : nullptr; }
    SOCKET HSocket() const { return FHSocket; }
    DWORD ThreadId() const { return FThreadId; }
    bool Terminated() const { return FTerminated; }

    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
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

    virtual void ReverseDnsLookup(const std::string& HostAddr);
    virtual int SendTo(const sockaddr_in& Dest, const void* Data, int Len);
    virtual int ReceiveFrom(void* Buffer, int Len, sockaddr_in& From);
    virtual void ReleaseLater();
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
    // A message of the socket's window: true when it was one of the socket's own. What its
    // handling throws is a background exception.
    bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam);

protected:
    virtual bool WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
    void AssignDefaultValue() override;
    void InternalAbort(uint16_t ErrCode) override;

    bool HasHandle() const override { return FHSocket != INVALID_SOCKET; }
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
    uint16_t ResolvePortNumber(const std::string& Port) override;
    uint32_t ResolveHostAddress(const std::string& Host) override;

    // A fresh handle for Connect or Listen: 0, or the error with Msg naming Context.
    int OpenHandle(std::string& Msg, const char* Context);
    // Binds to LocalAddr and the local port: 0, or the error with the text in Msg.
    int BindSocket(std::string& Msg);
    // The datagram part of Connect: bind, multicast and broadcast options.
    int SetupDatagram(std::string& Msg);
    int ApplyLinger(std::string& Msg);
    // ApplyLinger, raising its failure.
    void SetLingerOption();
    // The Winsock error of the call that just failed, with its text in Msg.
    int LastCallError(std::string& Msg, const char* Func);
    // Handles messages for a moment while a wait loop goes round; false when the socket was
    // freed meanwhile or the program is ending (which ends every wait).
    bool Nap(const std::shared_ptr<bool>& Life);
    // Reads WSAGetLastError and raises it as the error of Func.
    void SocketError(const std::string& Func);
    void RaiseExceptionFmt(const char* Fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    std::unique_ptr<TSocketWindow> FWindow;
    DWORD FThreadId = 0;
    SOCKET FHSocket = INVALID_SOCKET;
    int FAddrFormat = AF_INET;
    int FType = SOCK_STREAM;
    int FProto = IPPROTO_TCP;
    sockaddr_in FSin{};
    u_short FLocalPortNum = 0;
    u_long FLocalSinAddr = 0;  // LocalAddr as the last bind resolved it
    long FSelectEvent = 0;
    bool FTerminated = false;
    int FSendFlags = 0;

private:
    void HandleHostMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
    void RunPosted();
    // Drops a handle that never reached a state worth reporting (failed listen).
    void DropHandle();
    void PurgeSelectMessages();
    HANDLE FDnsLookupHandle = nullptr;
    char* FDnsLookupBuffer = nullptr;
    bool FDnsLookupStarting = false;
    bool FDnsLookupCheckMsg = false;
    UINT FDnsSavedMsg = 0;
    WPARAM FDnsSavedWParam = 0;
    LPARAM FDnsSavedLParam = 0;
    std::deque<std::function<void()>> FPosted;
    bool FCountHeld = false;
};

// The SOCKS negotiation itself is part of the portable rules (WSocketSocks.cpp), so that it
// runs natively over the scripted double too; this layer refuses what SOCKS cannot do.
class TCustomSocksWSocket : public TCustomWSocket {
public:
    using TCustomWSocket::TCustomWSocket;
    void Listen() override;
};

class TCustomLineWSocket : public TCustomSocksWSocket {
public:
    using TCustomSocksWSocket::TCustomSocksWSocket;

    bool LineMode() const { return FLineMode; }
    virtual void SetLineMode(bool Value);
    const std::string& LineEnd() const { return FLines.LineEnd(); }
    void SetLineEnd(const std::string& Value) { FLines.SetLineEnd(Value); }
    int LineLimit = 65536;
    bool LineEcho = false;
    bool LineEdit = false;
    TLineLimitEvent OnLineLimitExceeded;

    int Receive(void* Buffer, int Len) override;
    int RcvdCount() override;
    virtual int SendLine(const std::string& Str);
    // Bytes held by the line layer, not yet handed out.
    int LineBufferedCount() const { return static_cast<int>(FLines.Size()); }

protected:
    bool TriggerDataAvailable(uint16_t Error) override;
    void TriggerSessionClosed(uint16_t Error) override;
    virtual void TriggerLineLimitExceeded(int Cnt, bool& ClearData);
    void AssignDefaultValue() override;

private:
    bool LineActive() const { return FLineMode && !FLines.LineEnd().empty(); }
    // Delivers buffered bytes with OnDataAvailable while a handler keeps taking them.
    bool DeliverRawBuffer();
    // Offers the current line while line mode holds and a handler keeps reading it; false
    // when a handler freed the socket.
    bool OfferLine(uint16_t Error);
    // Hands out again what a change of line mode left buffered.
    void DeliverBuffered();
    bool FLineMode = false;
    TLineBuffer FLines;
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
