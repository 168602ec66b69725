// 24-bit Hamming parity code of one 512-byte sector.
#ifndef PAGESMITH_ECC_H
#define PAGESMITH_ECC_H

#include <cstdint>

// Returns the ECC word of the SECTOR_SIZE bytes at sector: the packed code
// (P0[n] in bit n, P1[n] in bit 16 + n) with its four bytes reversed.
uint32_t computeECC(const uint8_t* sector);

#endif
