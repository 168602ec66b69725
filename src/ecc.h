// 24-bit Hamming parity code of one 512-byte sector.
#ifndef PAGESMITH_ECC_H
#define PAGESMITH_ECC_H

#include <cstdint>

// Returns the ECC word of the SECTOR_SIZE bytes at sector: the packed code
// (P0[n] in bit n, P1[n] in bit 16 + n) with its four bytes reversed.  Uses
// the fastest build of the code that this processor runs.
uint32_t computeECC(const uint8_t* sector);

// computeECC in plain portable code, whatever the processor.
uint32_t computeECC_portable(const uint8_t* sector);

// Vector builds of the same code exist on x86-64 with GCC or Clang.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ECC_HAS_VECTOR_BUILDS 1
// computeECC compiled for AVX2; call only where ecc_avx2_usable() is true.
uint32_t computeECC_avx2(const uint8_t* sector);

// True when this processor runs AVX2 code.
inline bool ecc_avx2_usable()
{
    return __builtin_cpu_supports("avx2");
}

// computeECC compiled for AVX-512 with its population count; call only
// where ecc_avx512_usable() is true.
uint32_t computeECC_avx512(const uint8_t* sector);

// True when this processor runs that AVX-512 code.
inline bool ecc_avx512_usable()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vpopcntdq");
}
#else
#define ECC_HAS_VECTOR_BUILDS 0
#endif

// What the difference between a stored and a recomputed ECC word means.
enum class ecc_outcome {
    clean,          // the words agree
    data_bit,       // one data bit flipped; byte and bit locate it
    code_bit,       // one bit of the stored word flipped; the data is sound
    uncorrectable,  // anything else: two or more bits, not locatable
};

// Result of decode_ecc.
struct ecc_decoding {
    ecc_outcome outcome = ecc_outcome::clean;
    int byte = 0;  // data_bit: sector byte (0..511) holding the flipped bit
    int bit = 0;   // data_bit: bit in that byte; code_bit: bit of the stored word
};

// Decodes the syndrome of one sector from its stored and recomputed ECC words
// (both as computeECC returns them).  Pure: no side effects.
ecc_decoding decode_ecc(uint32_t stored, uint32_t computed);

#endif
