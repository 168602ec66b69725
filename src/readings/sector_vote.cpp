// The vote on one sector of several readings.
#include "sector_vote.h"

#include <cstring>

#include "ecc.h"
#include "image_layout.h"

namespace {

// The stored ECC word of a copy, as computeECC gives it.
uint32_t stored_word(const uint8_t* ecc)
{
    return get_le32(ecc);
}

// One copy decoded: whether it corrects, and its data once corrected.
struct decoded_copy {
    ecc_outcome outcome;
    uint8_t data[SECTOR_SIZE];
};

// Decodes copy `c` into `out`.
void decode_copy(const sector_copy& c, decoded_copy& out)
{
    std::memcpy(out.data, c.data, SECTOR_SIZE);
    const ecc_decoding d = decode_ecc(stored_word(c.ecc), computeECC(c.data));
    out.outcome = d.outcome;
    if (d.outcome == ecc_outcome::data_bit)
        out.data[d.byte] ^= static_cast<uint8_t>(1u << d.bit);
}

// True when every copy holds the same bytes as the first.
bool all_same(const sector_copy* copies, int n)
{
    for (int k = 1; k < n; ++k)
        if (std::memcmp(copies[k].data, copies[0].data, SECTOR_SIZE) != 0 ||
            std::memcmp(copies[k].ecc, copies[0].ecc, 4) != 0)
            return false;
    return true;
}

// Takes the per-bit majority of three or more copies when its ECC word
// matches its data exactly.
bool take_majority(const sector_copy* copies, int n, sector_vote& vote)
{
    if (n < 3)
        return false;
    const uint8_t* data[MAX_READINGS];
    const uint8_t* ecc[MAX_READINGS];
    for (int k = 0; k < n; ++k) {
        data[k] = copies[k].data;
        ecc[k] = copies[k].ecc;
    }
    majority_bytes(data, n, SECTOR_SIZE, vote.data);
    majority_bytes(ecc, n, 4, vote.ecc);
    return stored_word(vote.ecc) == computeECC(vote.data);
}

// Chooses among the sound copies: the version that most of them correct
// to, a clean copy of it first.
void choose_sound(const decoded_copy* decoded, int n, sector_vote& vote)
{
    int best = -1;
    int best_count = 0;
    int versions = 0;
    for (int k = 0; k < n; ++k) {
        if (decoded[k].outcome == ecc_outcome::uncorrectable)
            continue;
        int count = 0;
        bool first = true;
        for (int j = 0; j < n; ++j) {
            if (decoded[j].outcome == ecc_outcome::uncorrectable ||
                std::memcmp(decoded[j].data, decoded[k].data, SECTOR_SIZE) != 0)
                continue;
            ++count;
            first = first && j >= k;
        }
        versions += first;
        const bool cleaner = best >= 0 && count == best_count &&
                             decoded[k].outcome == ecc_outcome::clean &&
                             decoded[best].outcome != ecc_outcome::clean;
        if (count > best_count || cleaner) {
            best = k;
            best_count = count;
        }
    }
    vote.chosen = best;
    vote.agreeing = best_count;
    if (versions == 1)
        vote.outcome = vote_outcome::sound;
    else
        vote.outcome = 2 * best_count > n ? vote_outcome::differ_taken : vote_outcome::differ_lost;
}

}  // namespace

void majority_bytes(const uint8_t* const* copies, int n, size_t count, uint8_t* out)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            int ones = 0;
            for (int k = 0; k < n; ++k)
                ones += (copies[k][i] >> bit) & 1;
            if (2 * ones > n)
                byte |= static_cast<uint8_t>(1u << bit);
        }
        out[i] = byte;
    }
}

sector_vote vote_sector(const sector_copy* copies, int n)
{
    sector_vote vote;
    if (all_same(copies, n))
        return vote;
    decoded_copy decoded[MAX_READINGS];
    bool any_sound = false;
    for (int k = 0; k < n; ++k) {
        decode_copy(copies[k], decoded[k]);
        any_sound = any_sound || decoded[k].outcome != ecc_outcome::uncorrectable;
    }
    if (any_sound)
        choose_sound(decoded, n, vote);
    else
        vote.outcome = take_majority(copies, n, vote) ? vote_outcome::majority
                                                      : vote_outcome::broken;
    const bool sound_result = vote.outcome == vote_outcome::sound ||
                              vote.outcome == vote_outcome::majority ||
                              vote.outcome == vote_outcome::differ_taken;
    for (int k = 0; k < n && sound_result; ++k)
        vote.lost[k] = decoded[k].outcome == ecc_outcome::uncorrectable;
    return vote;
}

void spoil_ecc(const uint8_t* data, uint8_t* ecc)
{
    const uint32_t computed = computeECC(data);
    // Two flipped bits of the word never correct; bits past the code's 24
    // are tried last, as a reader may ignore them.
    for (int a = 0; a < 32; ++a)
        for (int b = a + 1; b < 32; ++b) {
            const uint32_t word = computed ^ (1u << a) ^ (1u << b);
            if (decode_ecc(word, computed).outcome != ecc_outcome::uncorrectable)
                continue;
            put_le32(ecc, word);
            return;
        }
}
