// The sector ECC transcribed literally, bit by bit, from its definition: the
// reference that the fast code is checked against.
#ifndef PAGESMITH_TESTS_REFERENCE_ECC_H
#define PAGESMITH_TESTS_REFERENCE_ECC_H

#include <cstdint>

inline uint32_t reference_ecc(const uint8_t* sector)
{
    uint8_t w[512];
    for (int p = 0; p < 512; ++p)
        w[p] = sector[p ^ 3];
    int p0[12] = {};
    int p1[12] = {};
    for (int p = 0; p < 512; ++p) {
        int b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = (w[p] >> i) & 1;
        p1[0] ^= b[1] ^ b[3] ^ b[5] ^ b[7];
        p0[0] ^= b[0] ^ b[2] ^ b[4] ^ b[6];
        p1[1] ^= b[2] ^ b[3] ^ b[6] ^ b[7];
        p0[1] ^= b[0] ^ b[1] ^ b[4] ^ b[5];
        p1[2] ^= b[4] ^ b[5] ^ b[6] ^ b[7];
        p0[2] ^= b[0] ^ b[1] ^ b[2] ^ b[3];
        int r = 0;
        for (int i = 0; i < 8; ++i)
            r ^= b[i];
        for (int n = 3; n <= 11; ++n) {
            if ((p >> (n - 3)) & 1)
                p1[n] ^= r;
            else
                p0[n] ^= r;
        }
    }
    uint32_t k = 0;
    for (int n = 0; n < 12; ++n)
        k |= static_cast<uint32_t>(p0[n]) << n | static_cast<uint32_t>(p1[n]) << (16 + n);
    return (k >> 24) | ((k >> 8) & 0xFF00u) | ((k << 8) & 0xFF0000u) | (k << 24);
}

#endif
