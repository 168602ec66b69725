// A channel of large blocks between two threads.
#include "byte_channel.h"

#include <cerrno>

namespace {

// Hands the block being filled over to the taker, and waits until the next
// one is free or the taker failed.  False with errno set on a failure.
bool hand_over(byte_channel& channel)
{
    std::unique_lock<std::mutex> held(channel.lock);
    channel.sizes[channel.filling] = channel.filled;
    ++channel.handed;
    channel.filling = (channel.filling + 1) % CHANNEL_BLOCKS;
    channel.filled = 0;
    channel.changed.notify_all();
    channel.changed.wait(held, [&] {
        return channel.handed < CHANNEL_BLOCKS || channel.error != 0;
    });
    if (channel.error == 0)
        return true;
    errno = channel.error;
    return false;
}

}  // namespace

uint8_t* room_for(byte_channel& channel, size_t n)
{
    if (channel.filled + n > CHANNEL_BLOCK_SIZE && !hand_over(channel))
        return nullptr;
    std::vector<uint8_t>& block = channel.blocks[channel.filling];
    if (block.empty())
        block.resize(CHANNEL_BLOCK_SIZE);
    return block.data() + channel.filled;
}

void add_bytes(byte_channel& channel, size_t n)
{
    channel.filled += n;
}

void close_channel(byte_channel& channel)
{
    if (channel.filled != 0)
        hand_over(channel);
    std::lock_guard<std::mutex> held(channel.lock);
    channel.closed = true;
    channel.changed.notify_all();
}

size_t take_block(byte_channel& channel, const uint8_t*& bytes)
{
    std::unique_lock<std::mutex> held(channel.lock);
    channel.changed.wait(held, [&] { return channel.handed != 0 || channel.closed; });
    if (channel.handed == 0)
        return 0;
    bytes = channel.blocks[channel.first].data();
    return channel.sizes[channel.first];
}

void give_back_block(byte_channel& channel)
{
    std::lock_guard<std::mutex> held(channel.lock);
    channel.first = (channel.first + 1) % CHANNEL_BLOCKS;
    --channel.handed;
    channel.changed.notify_all();
}

size_t next_block(byte_channel& channel, const uint8_t*& bytes)
{
    if (channel.holding)
        give_back_block(channel);
    const size_t n = take_block(channel, bytes);
    channel.holding = n != 0;
    return n;
}

void fail_channel(byte_channel& channel, int error)
{
    std::lock_guard<std::mutex> held(channel.lock);
    channel.error = error;
    channel.changed.notify_all();
}
