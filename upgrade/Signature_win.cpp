#include "upgrade/Signature_win.h"

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <memory>

// The headers hide SHA-256 behind a newer target version than the program's; the AES
// provider has it from Windows XP Service Pack 3 on.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

namespace {
// The handles of one check, released in the reverse order of their making.
struct TCryptContext {
    HCRYPTPROV Prov = 0;
    HCRYPTKEY Key = 0;
    HCRYPTHASH Hash = 0;
    ~TCryptContext() {
        if (Hash) CryptDestroyHash(Hash);
        if (Key) CryptDestroyKey(Key);
        if (Prov) CryptReleaseContext(Prov, 0);
    }
};

struct TLocalFree {
    void operator()(void* p) const { LocalFree(p); }
};
}  // namespace

bool VerifySignature(const std::string& PublicKeyDer, const std::string& Signed,
                     const std::string& Signature) {
    if (PublicKeyDer.empty() || Signature.empty() || PublicKeyDer.size() > 0xFFFF ||
        Signature.size() > 0xFFFF || Signed.size() > 0x7FFFFFFF)
        return false;
    TCryptContext c;
    // The AES provider is the one that knows SHA-256; no key container is needed to verify.
    if (!CryptAcquireContextW(&c.Prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(
            X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, reinterpret_cast<const BYTE*>(PublicKeyDer.data()),
            static_cast<DWORD>(PublicKeyDer.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize))
        return false;
    std::unique_ptr<CERT_PUBLIC_KEY_INFO, TLocalFree> keyInfo(info);
    if (!CryptImportPublicKeyInfo(c.Prov, X509_ASN_ENCODING, keyInfo.get(), &c.Key)) return false;
    if (!CryptCreateHash(c.Prov, CALG_SHA_256, 0, 0, &c.Hash)) return false;
    if (!CryptHashData(c.Hash, reinterpret_cast<const BYTE*>(Signed.data()),
                       static_cast<DWORD>(Signed.size()), 0))
        return false;
    // The API takes the signature least significant byte first.
    std::string reversed(Signature.rbegin(), Signature.rend());
    return CryptVerifySignatureW(c.Hash, reinterpret_cast<const BYTE*>(reversed.data()),
                                 static_cast<DWORD>(reversed.size()), c.Key, nullptr, 0) != FALSE;
}

TSignatureCheck SignatureCheckFor(std::string PublicKeyDer) {
    return [key = std::move(PublicKeyDer)](const std::string& Signed, const std::string& Signature) {
        return VerifySignature(key, Signed, Signature);
    };
}
