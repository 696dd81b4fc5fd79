// Line mode: what arrives is read into the line buffer and handed to OnDataAvailable a line
// at a time.
#include <algorithm>

#include "http/WSocket_win.h"

void TCustomLineWSocket::AssignDefaultValue() {
    TCustomSocksWSocket::AssignDefaultValue();
    FLines.Clear();
}

void TCustomLineWSocket::SetLineMode(bool Value) {
    if (FLineMode == Value) return;
    FLineMode = Value;
    FLines.Rescan();
    if (!FLines.Empty()) PostStep([this] { DeliverBuffered(); });
}

int TCustomLineWSocket::SendLine(const std::string& Str) { return SendStr(Str + LineEnd()); }

int TCustomLineWSocket::Receive(void* Buffer, int Len) {
    if (!Buffer || Len < 0) return -1;
    if (LineActive())
        return static_cast<int>(FLines.ReadLine(static_cast<char*>(Buffer), static_cast<size_t>(Len)));
    if (!FLines.Empty())
        return static_cast<int>(FLines.Read(static_cast<char*>(Buffer), static_cast<size_t>(Len)));
    return TCustomSocksWSocket::Receive(Buffer, Len);
}

int TCustomLineWSocket::RcvdCount() {
    if (LineActive()) return static_cast<int>(FLines.LineLeft());
    if (!FLines.Empty()) return static_cast<int>(FLines.Size());
    return TCustomSocksWSocket::RcvdCount();
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Cnt, bool& ClearData) {
    Raise(OnLineLimitExceeded, this, Cnt, ClearData);
}

bool TCustomLineWSocket::DeliverRawBuffer() {
    auto life = LifeToken();
    if (!OnDataAvailable) {
        FLines.Clear();
        return true;
    }
    while (!FLines.Empty() && !LineActive()) {
        const size_t before = FLines.Size();
        OnDataAvailable(this, 0);
        if (!*life) return false;
        if (FLines.Size() == before) break;
    }
    return true;
}

bool TCustomLineWSocket::OfferLine(uint16_t Error) {
    auto life = LifeToken();
    while (LineActive() && FLines.LineLeft() > 0) {
        const size_t before = FLines.LineLeft();
        Raise(OnDataAvailable, this, Error);
        if (!*life) return false;
        if (FLines.LineLeft() == before) break;
    }
    return true;
}

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t Error) {
    // The SOCKS server's replies are no lines: the negotiation reads them itself.
    if (SocksNegotiating()) return TCustomSocksWSocket::TriggerDataAvailable(Error);
    if (!LineActive()) {
        if (!FLines.Empty()) {
            // Left over from line mode: handed out before anything newer.
            if (!OnDataAvailable) {
                FLines.Clear();
                return false;
            }
            OnDataAvailable(this, Error);
            return true;
        }
        return TCustomSocksWSocket::TriggerDataAvailable(Error);
    }
    auto life = LifeToken();
    if (HasHandle()) {
        // Everything Winsock holds is taken at once, so that whole lines can be found.
        int err = 0;
        int waiting = Pending(err);
        if (waiting <= 0) waiting = 255;
        waiting = std::min(waiting, 65536);
        std::string chunk(static_cast<size_t>(waiting), '\0');
        const int n = ReadRaw(&chunk[0], waiting, err);
        if (n < 0 && err != WSocket_EWOULDBLOCK) FLastError = err;
        if (n > 0) {
            const std::string echo = FLines.Append(chunk.data(), static_cast<size_t>(n), LineEdit, LineEcho);
            if (!echo.empty()) {
                SendStr(echo);
                if (!*life) return true;
            }
        }
    }
    FLineFound = false;
    while (LineActive() && FLines.NextLine()) {
        FLineFound = true;
        if (!OfferLine(Error)) return true;
        // What the handler left of the line is dropped (it stays when line mode ended).
        FLines.SkipLine();
    }
    if (!FLineMode) {
        DeliverRawBuffer();
    } else if (LineActive() && LineLimit > 0 && FLines.Size() > static_cast<size_t>(LineLimit)) {
        bool clearData = true;
        TriggerLineLimitExceeded(static_cast<int>(FLines.Size()), clearData);
        if (!*life) return true;
        if (clearData) FLines.Clear();
    }
    return true;
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t Error) {
    // An unterminated tail is still a line.
    if (LineActive() && FLines.TakeRest()) {
        if (!OfferLine(Error)) return;
        FLines.Clear();
    }
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}

void TCustomLineWSocket::DeliverBuffered() {
    auto life = LifeToken();
    int idlePasses = 0;
    while (!FLines.Empty()) {
        const size_t before = FLines.Size();
        TriggerDataAvailable(0);
        if (!*life) return;
        if (LineActive()) {
            if (!FLineFound && ++idlePasses > 3) break;
        } else if (FLines.Size() == before) {
            break;
        }
    }
}
