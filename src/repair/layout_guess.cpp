// The guess at an image's layout, from a check of its first blocks.
#include "layout_guess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "image_check.h"

namespace {

// Reads n bytes at `offset` of fd into `to`; false when fewer are there.
bool read_at(int fd, uint8_t* to, size_t n, uint64_t offset)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = pread(fd, to + done, n - done, static_cast<off_t>(offset + done));
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// True when the last record of the file, record `index` of the image,
// reads as a fill page.
bool ends_with_fill(int fd, uint64_t from, uint64_t index)
{
    std::vector<uint8_t> bytes(PAGE_RECORD_SIZE);
    if (index == 0 || !read_at(fd, bytes.data(), bytes.size(), from + index * PAGE_RECORD_SIZE))
        return false;
    const page_record r{bytes.data(), bytes.data() + PAGE_DATA_SIZE, index,
                        index / PAGES_PER_BLOCK, static_cast<int>(index % PAGES_PER_BLOCK)};
    return looks_like_fill(r, decode_page(r));
}

}  // namespace

std::optional<found_layout> guess_layout(FILE* image, long from, const layout_claim& claim)
{
    const int fd = fileno(image);
    struct stat st;
    if (from < 0 || fstat(fd, &st) != 0 || st.st_size <= from)
        return std::nullopt;
    const uint64_t records = (static_cast<uint64_t>(st.st_size) - static_cast<uint64_t>(from)) /
                             PAGE_RECORD_SIZE;
    if (records == 0)
        return std::nullopt;
    const uint64_t taken = std::min<uint64_t>(records, GUESS_BLOCKS * PAGES_PER_BLOCK);
    std::vector<uint8_t> bytes(taken * PAGE_RECORD_SIZE);
    if (!read_at(fd, bytes.data(), bytes.size(), static_cast<uint64_t>(from)))
        return std::nullopt;
    FILE* first = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!first)
        return std::nullopt;
    const auto checker = std::make_unique<image_checker>();
    check_summary summary;
    const int error = check_image(*checker, first, claim, check_sink{}, summary);
    std::fclose(first);
    if (error != 0)
        return std::nullopt;
    found_layout layout = summary.layout;
    if (layout.header == header_pages::present && !layout.input_size)
        layout.input_size = layout.size_said;
    layout.fill = layout.fill || ends_with_fill(fd, static_cast<uint64_t>(from), records - 1);
    return layout;
}
