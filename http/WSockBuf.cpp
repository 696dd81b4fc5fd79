#include "http/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {
const int kDefaultBufSize = 1514;
}

TBuffer::TBuffer(int BufSize) : FBuf(BufSize > 0 ? BufSize : kDefaultBufSize) {}

int TBuffer::Write(const void* Data, int Len) {
    if (!Data || Len <= 0) return 0;
    int n = std::min(Len, BufSize() - FWrCount);
    if (n <= 0) return 0;
    std::memcpy(FBuf.data() + FWrCount, Data, n);
    FWrCount += n;
    return n;
}

int TBuffer::Read(void* Data, int Len) {
    if (!Data || Len <= 0) return 0;
    int n = std::min(Len, DataLength());
    if (n <= 0) return 0;
    std::memcpy(Data, FBuf.data() + FRdCount, n);
    Remove(n);
    return n;
}

const char* TBuffer::Peek(int& Len) const {
    Len = DataLength();
    return FBuf.data() + FRdCount;
}

void TBuffer::Remove(int Len) {
    if (Len <= 0) return;
    FRdCount += std::min(Len, DataLength());
    if (FRdCount >= FWrCount) {
        FRdCount = 0;
        FWrCount = 0;
    }
}

void TSendQueue::Put(const void* Data, int Len) {
    if (!Data || Len <= 0) return;
    const char* p = static_cast<const char*>(Data);
    if (FBlocks.empty()) FBlocks.push_back(std::make_unique<TBuffer>(FBufSize));
    while (Len > 0) {
        int n = FBlocks.back()->Write(p, Len);
        if (n <= 0) {
            FBlocks.push_back(std::make_unique<TBuffer>(FBufSize));
            continue;
        }
        p += n;
        Len -= n;
        FSize += n;
    }
}

const char* TSendQueue::Front(int& Len) {
    Len = 0;
    while (!FBlocks.empty()) {
        const char* p = FBlocks.front()->Peek(Len);
        if (Len > 0) return p;
        if (FBlocks.size() == 1) break;
        FBlocks.pop_front();
    }
    Len = 0;
    return nullptr;
}

void TSendQueue::Remove(int Len) {
    if (FBlocks.empty() || Len <= 0) return;
    TBuffer& b = *FBlocks.front();
    int n = std::min(Len, b.DataLength());
    b.Remove(n);
    FSize -= n;
}

void TSendQueue::Clear() {
    FBlocks.clear();
    FSize = 0;
}
