#pragma once
// The public half of the key that signs the maker's update-information files.
#include <string>

// DER SubjectPublicKeyInfo of an RSA key.
const std::string& ReleasePublicKey();
