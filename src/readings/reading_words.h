// The words of the report on several readings.
#ifndef PAGESMITH_READING_WORDS_H
#define PAGESMITH_READING_WORDS_H

#include <string>
#include <vector>

#include "findings.h"

// A pattern in one reading that points at the reader rather than the chip:
// one bit position that reads 0 (or 1) in many of the sectors it reads
// otherwise than the combined image.
struct stuck_bit {
    int bit;           // the bit position in each byte
    int reads;         // the value it reads: 0 or 1
    uint64_t sectors;  // sectors where it does
};

// The stuck bits of one reading: a bit position that reads one value in at
// least 16 sectors and in more than half of those it reads otherwise.
std::vector<stuck_bit> stuck_bits(const reading_summary& reading);

// The "reading N:" lines of the text report, without line ends: what each
// reading could not correct that another gave, and its stuck bits.
std::vector<std::string> describe_readings(const std::vector<reading_summary>& readings);

#endif
