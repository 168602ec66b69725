#include "page_io.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Room for the pieces of one gathering call: a record or a part of one
// each, at most.
constexpr size_t MAX_PIECES = std::max(INPUT_CHUNK_SIZE / PAGE_DATA_SIZE, WAITING_RECORDS) + 2;
static_assert(MAX_PIECES <= 1024, "within the smallest limit on pieces per call");

// Adds the n bytes at p to the `count` pieces of `pieces`, joined to the
// last one when they follow it in memory.
void add_piece(iovec* pieces, int& count, uint8_t* p, size_t n)
{
    if (count > 0) {
        iovec& last = pieces[count - 1];
        if (static_cast<uint8_t*>(last.iov_base) + last.iov_len == p) {
            last.iov_len += n;
            return;
        }
    }
    pieces[count++] = {p, n};
}

// Drops the first n bytes of the `count` pieces at *pieces.
void drop_bytes(iovec*& pieces, int& count, size_t n)
{
    while (n > 0 && n >= pieces->iov_len) {
        n -= pieces->iov_len;
        ++pieces;
        --count;
    }
    if (n > 0) {
        pieces->iov_base = static_cast<uint8_t*>(pieces->iov_base) + n;
        pieces->iov_len -= n;
    }
}

// Writes the `count` pieces at `pieces` to fd, continuing after a short
// write.
writer_error write_pieces(int fd, iovec* pieces, int count)
{
    while (count > 0) {
        const ssize_t written = writev(fd, pieces, count);
        if (written <= 0)
            return {writer_failure::image_write, written < 0 ? errno : EIO};
        drop_bytes(pieces, count, static_cast<size_t>(written));
    }
    return {};
}

// The record slot that input byte b lands in.
uint8_t* slot_of(writer_input& in, uint64_t b)
{
    return in.slots[(b / PAGE_DATA_SIZE) % INPUT_SLOTS];
}

// Reads at most INPUT_CHUNK_SIZE bytes of input into the data areas of the
// slots, from where the last read ended; returns what read(2) returns.
ssize_t read_chunk(writer_input& in)
{
    iovec pieces[MAX_PIECES];
    int count = 0;
    uint64_t b = in.read;
    const uint64_t end = in.read + INPUT_CHUNK_SIZE;
    while (b < end) {
        const size_t offset = static_cast<size_t>(b % PAGE_DATA_SIZE);
        const size_t n = std::min(PAGE_DATA_SIZE - offset, static_cast<size_t>(end - b));
        add_piece(pieces, count, slot_of(in, b) + offset, n);
        b += n;
    }
    return readv(in.fd, pieces, count);
}

// Bytes laid out and not yet written.
size_t waiting_bytes(const writer_output& out)
{
    return out.count * PAGE_RECORD_SIZE - out.written;
}

// Writes the first n bytes waiting and drops the records written whole.
writer_error write_waiting(writer_output& out, size_t n)
{
    iovec pieces[MAX_PIECES];
    int count = 0;
    size_t offset = out.written;
    for (size_t i = 0, left = n; left > 0; ++i) {
        uint8_t* record = out.waiting[(out.first + i) % (WAITING_RECORDS + 1)];
        const size_t take = std::min(PAGE_RECORD_SIZE - offset, left);
        add_piece(pieces, count, record + offset, take);
        left -= take;
        offset = 0;
    }
    const writer_error error = write_pieces(out.image, pieces, count);
    if (error.failure != writer_failure::none)
        return error;
    const size_t done = out.written + n;
    out.first = (out.first + done / PAGE_RECORD_SIZE) % (WAITING_RECORDS + 1);
    out.count -= done / PAGE_RECORD_SIZE;
    out.written = done % PAGE_RECORD_SIZE;
    return {};
}

}  // namespace

void start_input(writer_input& in, int fd)
{
    in.fd = fd;
    in.handed = 0;
    in.read = 0;
    in.ended = false;
}

void start_output(writer_output& out, int image_fd, trace_output& trace)
{
    out.image = image_fd;
    out.trace = &trace;
    out.first = 0;
    out.count = 0;
    out.written = 0;
    out.next_own = 0;
}

writer_error read_page(writer_input& in, uint8_t*& record, size_t& count)
{
    while (in.read - in.handed < PAGE_DATA_SIZE && !in.ended) {
        const ssize_t n = read_chunk(in);
        if (n < 0)
            return {writer_failure::input_read, errno};
        in.read += static_cast<uint64_t>(n);
        in.ended = n == 0;
    }
    record = slot_of(in, in.handed);
    count = static_cast<size_t>(std::min<uint64_t>(PAGE_DATA_SIZE, in.read - in.handed));
    in.handed += count;
    std::memset(record + count, 0, PAGE_DATA_SIZE - count);
    return {};
}

uint8_t* next_record(writer_output& out)
{
    return out.own[out.next_own];
}

writer_error commit_record(writer_output& out, uint8_t* record)
{
    // Committing the slot that next_record gives moves it on to the next.
    if (record == out.own[out.next_own])
        out.next_own = (out.next_own + 1) % OWN_SLOTS;
    out.waiting[(out.first + out.count) % (WAITING_RECORDS + 1)] = record;
    ++out.count;
    if (waiting_bytes(out) <= IMAGE_CHUNK_SIZE)
        return {};
    return write_waiting(out, IMAGE_CHUNK_SIZE);
}

writer_error flush_image(writer_output& out)
{
    const writer_error error = write_waiting(out, waiting_bytes(out));
    out.count = 0;
    out.written = 0;
    return error;
}
