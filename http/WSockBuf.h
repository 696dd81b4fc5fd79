#pragma once
// One block of the socket's send queue: bytes are written behind the write count and
// taken from the read count, so a partial send leaves the rest in place without copying.
#include <vector>

#include "base/Events.h"

class TBuffer : public TObject {
public:
    // Sizes of 0 or less get a full Ethernet frame.
    explicit TBuffer(int BufSize);

    int BufSize() const { return static_cast<int>(FBuf.size()); }
    // Copies as much of Data as fits behind what is already there; returns the count copied.
    int Write(const void* Data, int Len);
    // Copies up to Len unread bytes out and removes them; returns the count copied.
    int Read(void* Data, int Len);
    // The unread part, without removing it.
    const char* Peek(int& Len) const;
    // Marks Len bytes as read; once everything was read the block is reused from its start.
    void Remove(int Len);
    int DataLength() const { return FWrCount - FRdCount; }
    bool Full() const { return FWrCount >= BufSize(); }

private:
    std::vector<char> FBuf;
    int FWrCount = 0;
    int FRdCount = 0;
};
