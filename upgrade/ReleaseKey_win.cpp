#include <windows.h>

#include "upgrade/ReleaseKey.h"

std::string ReleasePublicKey() {
    HRSRC info = FindResourceA(nullptr, "RELEASEKEY", MAKEINTRESOURCEA(10));  // RT_RCDATA
    HGLOBAL data = info ? LoadResource(nullptr, info) : nullptr;
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(nullptr, info)) : std::string();
}
