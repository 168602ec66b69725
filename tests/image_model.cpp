#include "image_model.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "reference_ecc.h"

namespace {

constexpr size_t DATA = 2048;
constexpr size_t SPARE = 64;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

void set_word(uint8_t* spare, int n, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        spare[4 * n + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct walker {
    const model_settings& settings;
    expected_run run;
    size_t consumed = 0;
    long record = 0;

    int32_t block() const { return static_cast<int32_t>(record / 64); }
    int32_t page() const { return static_cast<int32_t>(record % 64); }

    void ecc_words(const uint8_t* data, uint8_t* spare, const std::string& prefix)
    {
        for (int s = 0; s < 4; ++s) {
            const uint32_t ecc = reference_ecc(data + 512 * s);
            set_word(spare, 12 + s, ecc);
            run.trace += prefix + format(" spare[%d] = 0x%08x\n", 12 + s, ecc);
        }
    }

    void flips(uint8_t* data)
    {
        for (int i = 0; i < settings.error_bits; ++i) {
            const long r = random() & 0x7FF;
            const long t = random() & 7;
            data[r] ^= static_cast<uint8_t>(1 << t);
        }
    }

    void emit(const uint8_t* data, const uint8_t* spare)
    {
        run.image.append(reinterpret_cast<const char*>(data), DATA);
        run.image.append(reinterpret_cast<const char*>(spare), SPARE);
        ++record;
    }

    void data_page(bool last)
    {
        uint8_t data[DATA] = {};
        uint8_t spare[SPARE] = {};
        const size_t count = std::min(DATA, settings.input.size() - consumed);
        if (count == 0)
            throw std::logic_error("layout has more data pages than the input");
        std::memcpy(data, settings.input.data() + consumed, count);
        consumed += count;
        const std::string prefix = format("read_data: block %d page %d", block(), page());
        ecc_words(data, spare, prefix);
        if (settings.bad_block_table && page() < 2) {
            set_word(spare, 0, 0xFFFFFFFF);
            run.trace += prefix + " spare[0] = 0xffffffff\n";
        }
        set_word(spare, 1, static_cast<uint32_t>(block()) << 16 | static_cast<uint32_t>(page()));
        flips(data);
        const bool short_page_before_63 = count < DATA && page() != 63;
        emit(data, spare);
        if (last && short_page_before_63)
            run.diagnostics += format("Found eof on input %d read\n", static_cast<int>(count));
    }

    void header_page()
    {
        uint8_t data[DATA] = {};
        uint8_t spare[SPARE] = {};
        set_word(data, 0, static_cast<uint32_t>(settings.header_size));
        ecc_words(data, spare, "write_header: page -1");
        set_word(spare, 0, 0xFFFFFFFF);
        emit(data, spare);
    }

    void bad_block()
    {
        int slot = -1;
        for (size_t k = 0; k < settings.bad_list.size(); ++k)
            if (settings.bad_list[k] == block() && slot < 0)
                slot = static_cast<int>(k);
        if (slot < 0 || page() != 0)
            throw std::logic_error("layout has a bad block that is not listed");
        run.diagnostics += format("is_bad: bad_block[%d] = %d\n", slot, block());
        run.diagnostics += format("read_data: block %d is bad\n", block());
        const int32_t b = block();
        for (int p = 0; p < 64; ++p) {
            uint8_t data[DATA] = {};
            uint8_t spare[SPARE] = {};
            set_word(spare, 1, static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(p));
            emit(data, spare);
            run.trace += format("write_bad_block: block %d page %d\n", b, p);
        }
    }

    void fill_page()
    {
        uint8_t data[DATA] = {};
        uint8_t spare[SPARE] = {};
        ecc_words(data, spare, format("read_data: block %d page %d", block(), page()));
        flips(data);
        emit(data, spare);
    }
};

}  // namespace

expected_run model_from_layout(const std::string& layout, const model_settings& settings)
{
    std::vector<std::pair<char, int>> tokens;
    std::istringstream words(layout);
    std::string word;
    int data_pages = 0;
    while (words >> word) {
        const int count = word.size() > 1 ? std::atoi(word.c_str() + 1) : 1;
        tokens.emplace_back(word[0], count);
        if (word[0] == 'D')
            data_pages += count;
    }
    walker w{settings, {}};
    for (const auto& [kind, count] : tokens) {
        for (int i = 0; i < count; ++i) {
            switch (kind) {
            case 'D': w.data_page(--data_pages == 0); break;
            case 'H': w.header_page(); break;
            case 'B': w.bad_block(); break;
            case 'F': w.fill_page(); break;
            default: throw std::logic_error("unknown record kind in layout");
            }
        }
    }
    if (w.consumed != settings.input.size())
        throw std::logic_error("layout leaves input unused");
    return w.run;
}
