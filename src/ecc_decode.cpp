// Syndrome decoding of the sector ECC.
//
// The syndrome is the XOR of the stored and the recomputed packed codes
// (P0[n] in bit n, P1[n] in bit 16 + n).  Flipping the data bit at address a
// of the 4-byte-reversed working copy toggles P1[n] where bit n of a is set
// and P0[n] where it is clear: exactly one of the pair for every n, and the
// P1 half of the syndrome is a itself.  Two data flips at a != b toggle P1[n]
// and P0[n] together (both by a_n ^ b_n), so their syndrome has P0 == P1 and
// at least two bits set: it never looks like one data flip nor like one
// flipped code bit.  A single flipped bit of the stored word shows as a
// syndrome of one bit.

#include <bit>

#include "ecc.h"
#include "flash_geometry.h"

namespace {

// Bits of the packed code that hold P0[0..11].
constexpr uint32_t P0_BITS = 0x00000FFFu;
// Bits of the packed code that can never be set (12..15 and 28..31).
constexpr uint32_t UNUSED_BITS = 0xF000F000u;

}  // namespace

ecc_decoding decode_ecc(uint32_t stored, uint32_t computed)
{
    ecc_decoding result;
    const uint32_t word_syndrome = stored ^ computed;
    if (word_syndrome == 0)
        return result;
    if (std::has_single_bit(word_syndrome)) {
        result.outcome = ecc_outcome::code_bit;
        result.bit = std::countr_zero(word_syndrome);
        return result;
    }
    const uint32_t syndrome = reverse_bytes(word_syndrome);
    const uint32_t p0 = syndrome & P0_BITS;
    const uint32_t p1 = (syndrome >> 16) & P0_BITS;
    if ((syndrome & UNUSED_BITS) != 0 || (p0 ^ p1) != P0_BITS) {
        result.outcome = ecc_outcome::uncorrectable;
        return result;
    }
    // p1 is the address 8 * line + column in the working copy, whose line
    // holds sector byte line ^ 3.
    result.outcome = ecc_outcome::data_bit;
    result.byte = static_cast<int>(p1 >> 3) ^ 3;
    result.bit = static_cast<int>(p1 & 7);
    return result;
}
