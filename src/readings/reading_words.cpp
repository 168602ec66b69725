// The report's words on several readings.
#include "reading_words.h"

#include "report_words.h"

namespace {

// Sectors a bit position must read otherwise in before it is named.
constexpr uint64_t STUCK_SECTORS = 16;

// `n` with a comma between each group of three digits: "1,024".
std::string grouped(uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

}  // namespace

std::vector<stuck_bit> stuck_bits(const reading_summary& reading)
{
    std::vector<stuck_bit> found;
    for (int reads = 0; reads < 2; ++reads)
        for (int bit = 0; bit < 8; ++bit) {
            const uint64_t n = reading.stuck[reads][bit];
            if (n >= STUCK_SECTORS && 2 * n > reading.differing)
                found.push_back({bit, reads, n});
        }
    return found;
}

std::vector<std::string> describe_readings(const std::vector<reading_summary>& readings)
{
    std::vector<std::string> lines;
    for (size_t k = 0; k < readings.size(); ++k) {
        const reading_summary& r = readings[k];
        const std::string head = "reading " + std::to_string(k + 1) + ": ";
        lines.push_back(head + r.file + ", image from byte " + std::to_string(r.image_start) +
                        ": " + std::to_string(r.supplied) + " sector" + plural(r.supplied) +
                        " it could not correct, given by another reading");
        for (const stuck_bit& s : stuck_bits(r))
            lines.push_back(head + "bit " + std::to_string(s.bit) + " reads " +
                            std::to_string(s.reads) + " in " + grouped(s.sectors) +
                            " sectors: a stuck data line?");
    }
    return lines;
}
