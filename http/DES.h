#pragma once
// Single-block DES encryption (FIPS 46), as the NTLM responses use it.
#include <cstdint>

// Encrypts one 8-byte block (ECB) with an 8-byte key whose low bits (parity) are ignored.
void DesEncryptBlock(const uint8_t Key[8], const uint8_t In[8], uint8_t Out[8]);

// Spreads 56 key bits over 8 bytes, 7 bits per byte in the high bits, the low bit made odd
// parity: how NTLM turns 7 bytes of a hash into a DES key.
void DesKeyFrom7(const uint8_t Key7[7], uint8_t Key[8]);

// DesKeyFrom7, then DesEncryptBlock.
void DesEncrypt7(const uint8_t Key7[7], const uint8_t In[8], uint8_t Out[8]);
