#pragma once
// The public half of the key that signs the maker's update-information files.
#include <string>

// DER SubjectPublicKeyInfo of an RSA key, carried in the program's resources as RCDATA
// "RELEASEKEY" (upgrade/keys/release-public.der; test builds carry the test key); "" when
// the running module has none, and then no information file is trusted.
std::string ReleasePublicKey();
