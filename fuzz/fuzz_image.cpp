#include "fuzz_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "fuzz_check.h"

namespace {

// The image buffer: room for one record beyond the longest image, so that an
// image a little too long is still read back and reported.  Anything longer
// is reported as too long.
constexpr size_t IMAGE_BUFFER_SIZE = (MAX_RECORDS + 1) * PAGE_RECORD_SIZE;

// A listed block number from one byte: mostly small numbers that the data
// reaches, sometimes extreme values.
int32_t block_from_byte(uint8_t b)
{
    static const int32_t extremes[] = {INT32_MIN, INT32_MAX, 65536, -2, 1000, 63};
    if (b >= 250)
        return extremes[b - 250];
    return b % 4;
}

}  // namespace

uint8_t byte_at(const uint8_t* data, size_t size, size_t at)
{
    return at < size ? data[at] : 0;
}

size_t decode(const uint8_t* data, size_t size, fuzz_run& run)
{
    run.bad_block.reset();
    run.input.clear();
    const uint8_t flags = byte_at(data, size, 0);
    run.error_bits = (flags & 3) % 3;
    run.fill = flags & 4;
    run.bad_block_table = flags & 8;
    run.header = flags & 16;
    const size_t listed = byte_at(data, size, 1) % (MAX_BAD_BLOCKS + 1);
    const size_t leading = byte_at(data, size, 2) % (MAX_LEADING_PAGES + 1);
    uint8_t size_bytes[4];
    for (size_t i = 0; i < 4; ++i)
        size_bytes[i] = byte_at(data, size, 3 + i);
    run.header_size = static_cast<int32_t>(get_le32(size_bytes));
    size_t at = 7;
    if (flags & 32) {
        run.bad_block.emplace().fill(-1);
        for (size_t k = 0; k < listed; ++k)
            (*run.bad_block)[k] = block_from_byte(byte_at(data, size, at++));
    } else {
        at += listed;
    }
    if (at >= size)
        return size;
    const uint8_t* rest = data + at;
    const size_t rest_size = std::min(size - at, MAX_TAIL_SIZE);
    uint8_t page[PAGE_DATA_SIZE];
    for (size_t i = 0; i < PAGE_DATA_SIZE; ++i)
        page[i] = rest[i % rest_size];
    for (size_t p = 0; p < leading; ++p)
        run.input.insert(run.input.end(), page, page + PAGE_DATA_SIZE);
    run.input.insert(run.input.end(), rest, rest + rest_size);
    return at;
}

memory_image convert(const fuzz_run& run, const std::vector<uint8_t>& input)
{
    // The converter reads and writes descriptors: files in memory here.
    const int in = memfd_create("input", 0);
    const int out = memfd_create("image", 0);
    fuzz_expect(in >= 0 && out >= 0, "files in memory");
    fuzz_expect(write(in, input.data(), input.size()) == static_cast<ssize_t>(input.size()) &&
                    lseek(in, 0, SEEK_SET) == 0,
                "the input file");
    static writer_input reader;
    static writer_output writer;
    static trace_output trace;
    start_input(reader, in);
    start_trace(trace, STDOUT_FILENO);
    start_output(writer, out, trace, stderr);
    srandom(1);
    run_settings settings;
    settings.error_bits = run.error_bits;
    settings.fill = run.fill;
    settings.bad_block_table = run.bad_block_table;
    settings.bad_block = run.bad_block;
    settings.header = run.header;
    const writer_error error = read_data(reader, writer, settings, run.header_size);
    fuzz_expect(error.failure == writer_failure::none &&
                    flush_image(writer).failure == writer_failure::none,
                "the conversion failed");
    static uint8_t image[IMAGE_BUFFER_SIZE];
    const off_t written = lseek(out, 0, SEEK_END);
    fuzz_expect(written >= 0 && static_cast<size_t>(written) <= sizeof image, "the image's size");
    fuzz_expect(pread(out, image, static_cast<size_t>(written), 0) == written, "the image");
    close(in);
    close(out);
    return {image, static_cast<size_t>(written)};
}

// Every target that converts: the converter's trace is not checked, so it is
// kept off the fuzzer's output.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}
