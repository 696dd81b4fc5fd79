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
