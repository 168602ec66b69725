// One sector as several readings of a chip give it: which reading's copy
// the combined image takes, or the per-bit majority of all of them.
#ifndef PAGESMITH_SECTOR_VOTE_H
#define PAGESMITH_SECTOR_VOTE_H

#include <cstddef>
#include <cstdint>

#include "flash_geometry.h"

// Most readings combined.
constexpr int MAX_READINGS = 8;

// One reading's copy of a sector: its data, and the four bytes of its
// stored ECC word in the spare area.
struct sector_copy {
    const uint8_t* data;  // SECTOR_SIZE bytes
    const uint8_t* ecc;   // 4 bytes
};

// How the combined sector was chosen.
enum class vote_outcome : uint8_t {
    same,            // every copy holds the same bytes
    sound,           // the sound copies (clean or correctable) agree
    majority,        // none sound; the per-bit majority of three or more is clean
    broken,          // none sound, and no clean majority: the sector is lost
    differ_taken,    // sound copies correct to different bytes; most readings agree
    differ_lost,     // sound copies correct to different bytes; no majority: lost
};

// The vote on one sector.
struct sector_vote {
    vote_outcome outcome = vote_outcome::same;
    int chosen = 0;                 // the copy taken, when not `majority`
    int agreeing = 0;               // differ_*: readings that agree with the one taken
    bool lost[MAX_READINGS] = {};   // copies that do not correct, when the vote gives
                                    // a sound sector
    uint8_t data[SECTOR_SIZE];      // majority: the data
    uint8_t ecc[4];                 // majority: the ECC word's bytes
};

// The per-bit majority of n copies of `count` bytes (copies[k] points at
// copy k) into `out`: a bit is set where more than half the copies set it.
void majority_bytes(const uint8_t* const* copies, int n, size_t count, uint8_t* out);

// Votes on the n copies of one sector (1 <= n <= MAX_READINGS).
sector_vote vote_sector(const sector_copy* copies, int n);

// Changes the ECC word bytes `ecc` of `data` so that they no longer correct
// it: a sector whose readings disagree is lost, and reads as such.
void spoil_ecc(const uint8_t* data, uint8_t* ecc);

#endif
