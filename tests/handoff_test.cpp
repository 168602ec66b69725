// The channel between two threads and the background write: every byte
// arrives once and in order, whatever the sizes of the pieces, and a
// failure on the taking side reaches the giving side.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "background_write.h"
#include "byte_channel.h"
#include "case_names.h"

namespace {

using case_names::PrintTo;

// A handoff: bytes given in pieces of `give` bytes.
struct handoff_case {
    const char* name;
    size_t total;
    size_t give;
};

const handoff_case handoff_cases[] = {
    {"nothing", 0, 1},
    {"one_byte", 1, 1},
    {"small_pieces", 3 * CHANNEL_BLOCK_SIZE + 17, 2048},
    {"pieces_that_leave_blocks_part_full", 9 * CHANNEL_BLOCK_SIZE / 2, 300 * 1024},
    {"one_whole_block_at_a_time", 2 * CHANNEL_BLOCKS * CHANNEL_BLOCK_SIZE, CHANNEL_BLOCK_SIZE},
};

// Bytes that differ from one place to the next, so that a lost, repeated or
// swapped piece shows.
std::vector<uint8_t> numbered_bytes(size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

// Gives n bytes (at most a block) to the channel, as its givers do.
bool give(byte_channel& channel, const uint8_t* bytes, size_t n)
{
    uint8_t* room = room_for(channel, n);
    if (!room)
        return false;
    std::memcpy(room, bytes, n);
    add_bytes(channel, n);
    return true;
}

class Handoff : public ::testing::TestWithParam<handoff_case> {};

TEST_P(Handoff, EveryByteArrivesInOrder)
{
    const handoff_case& c = GetParam();
    const std::vector<uint8_t> sent = numbered_bytes(c.total);
    const auto channel = std::make_unique<byte_channel>();
    std::vector<uint8_t> received;
    std::thread taker([&] {
        const uint8_t* block = nullptr;
        while (const size_t n = next_block(*channel, block))
            received.insert(received.end(), block, block + n);
    });
    for (size_t at = 0; at < c.total; at += c.give)
        ASSERT_TRUE(give(*channel, sent.data() + at, std::min(c.give, c.total - at)));
    close_channel(*channel);
    taker.join();
    EXPECT_TRUE(received == sent);
}

TEST_P(Handoff, BackgroundWriteWritesEveryByte)
{
    const handoff_case& c = GetParam();
    const std::vector<uint8_t> sent = numbered_bytes(c.total);
    char path[] = "/tmp/handoff_test.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const auto write = std::make_unique<background_write>();
    start_background_write(*write, fd);
    for (size_t at = 0; at < c.total; at += c.give)
        ASSERT_TRUE(give(write->channel, sent.data() + at, std::min(c.give, c.total - at)));
    EXPECT_TRUE(finish_background_write(*write));
    std::vector<uint8_t> written(c.total + 1);
    EXPECT_EQ(pread(fd, written.data(), written.size(), 0), static_cast<ssize_t>(c.total));
    written.resize(c.total);
    EXPECT_TRUE(written == sent);
    close(fd);
    unlink(path);
}

INSTANTIATE_TEST_SUITE_P(Handoff, Handoff, ::testing::ValuesIn(handoff_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A write that fails reaches the giver: a later piece is refused with the
// write's error once the blocks are full, and the finish says so.
TEST(Handoff, FailedWriteStopsTheGiver)
{
    const int fd = open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    const auto write = std::make_unique<background_write>();
    start_background_write(*write, fd);
    const std::vector<uint8_t> block = numbered_bytes(CHANNEL_BLOCK_SIZE);
    bool refused = false;
    for (size_t k = 0; k <= CHANNEL_BLOCKS + 2 && !refused; ++k)
        refused = !give(write->channel, block.data(), block.size());
    EXPECT_TRUE(refused);
    EXPECT_EQ(errno, ENOSPC);
    errno = 0;
    EXPECT_FALSE(finish_background_write(*write));
    EXPECT_EQ(errno, ENOSPC);
    close(fd);
}

}  // namespace
