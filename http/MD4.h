#pragma once
// MD4 (RFC 1320): the NT password hash of NTLM.
#include <string>

#include "base/Exception.h"
#include "http/MDBlocks.h"

class MD4Exception : public Exception {
public:
    using Exception::Exception;
};

// Init, then Update any number of times, then Final, which gives the digest and leaves the
// context uninitialised again; Update or Final without Init raises MD4Exception.
class TMD4 {
public:
    void Init();
    void Update(const void* Data, size_t Len);
    TDigest16 Final();

private:
    void Compress(const uint8_t* Block);
    TMDBlocks Blocks;
    uint32_t State[4] = {};
    bool Initialized = false;
};

TDigest16 MD4Digest(const std::string& Bytes);
