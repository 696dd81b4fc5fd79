#pragma once
// The check of an update-information file's signature, by the platform's crypto API.
#include <string>

#include "upgrade/Updater.h"

// Whether Signature (as openssl writes it: most significant byte first) is an RSA PKCS #1
// v1.5 signature over the SHA-256 of Signed by the key PublicKeyDer (a DER
// SubjectPublicKeyInfo). False on any key, length or library failure.
bool VerifySignature(const std::string& PublicKeyDer, const std::string& Signed, const std::string& Signature);

// The check by one key; the updater's default is the release key's (upgrade/ReleaseKey.h).
TSignatureCheck SignatureCheckFor(std::string PublicKeyDer);
