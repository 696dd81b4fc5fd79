#pragma once
// One block of the socket's send queue: bytes are written behind the write count and
// taken from the read count, so a partial send leaves the rest in place without copying.
#include <deque>
#include <memory>
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

// The socket's send queue: a chain of fixed blocks, filled at the back and drained from
// the front as Winsock accepts bytes, so queueing a large block costs one copy and a
// partial send never moves data.
class TSendQueue : public TObject {
public:
    explicit TSendQueue(int BufSize = 1460) : FBufSize(BufSize) {}

    // Fills the last block, then appends new ones as needed.
    void Put(const void* Data, int Len);
    // The unread bytes of the first block that holds any; nullptr when nothing is left.
    // Emptied blocks in front are freed, the last one is kept for reuse.
    const char* Front(int& Len);
    // Marks Len bytes of the front block as sent.
    void Remove(int Len);
    void Clear();
    // Unread bytes in all blocks; kept as a count so that asking costs nothing however
    // long the queue is.
    int Size() const { return FSize; }
    bool Empty() const { return FSize == 0; }
    int BlockCount() const { return static_cast<int>(FBlocks.size()); }

private:
    int FBufSize;
    int FSize = 0;
    std::deque<std::unique_ptr<TBuffer>> FBlocks;
};
