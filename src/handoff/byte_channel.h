// Bytes handed from one thread to another through a few large blocks: the
// giving side writes into the block it fills (room_for, add_bytes) and
// hands it over whole; the taking side reads the blocks in order and gives
// each back when done.
// One thread gives, one takes.
#ifndef PAGESMITH_BYTE_CHANNEL_H
#define PAGESMITH_BYTE_CHANNEL_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Bytes in each block: large enough that the taker's writes are few.
constexpr size_t CHANNEL_BLOCK_SIZE = 512 * 1024;

// Blocks in a channel: one filling, one being taken, the rest waiting.
constexpr size_t CHANNEL_BLOCKS = 4;

// A channel between two threads.
struct byte_channel {
    std::mutex lock;
    std::condition_variable changed;       // a block handed over or given back,
                                           // the end, or a failure
    std::vector<uint8_t> blocks[CHANNEL_BLOCKS];
    size_t sizes[CHANNEL_BLOCKS] = {};     // bytes held by each block handed over
    size_t handed = 0;                     // blocks handed over and not given back
    size_t first = 0;                      // the block the taker reads next
    bool closed = false;                   // the giver gave its last bytes
    int error = 0;                         // the taker failed with this errno value
    // The giver's side, used by that thread alone.
    size_t filling = 0;                    // the block being filled
    size_t filled = 0;                     // its bytes so far
    // The taker's side, used by that thread alone.
    bool holding = false;                  // next_block took the first block
};

// Room for n bytes (at most CHANNEL_BLOCK_SIZE) at the end of the block
// being filled, which is handed over first when they do not fit: the giver
// writes them there and adds them with add_bytes, or leaves them out.  Null,
// with errno set to the taker's error, once the taker failed.
uint8_t* room_for(byte_channel& channel, size_t n);

// Adds n bytes written at room_for's place to the block being filled.
void add_bytes(byte_channel& channel, size_t n);

// Hands over the bytes given so far and ends the channel: the taker reads
// them, then the end.
void close_channel(byte_channel& channel);

// Points `bytes` at the next block handed over and returns its size,
// waiting for one; 0 at the end.  give_back_block() follows each block.
size_t take_block(byte_channel& channel, const uint8_t*& bytes);

// Gives the block last taken back to the giver.
void give_back_block(byte_channel& channel);

// Gives back the block that the last call took, if any, then takes the
// next as take_block does.
size_t next_block(byte_channel& channel, const uint8_t*& bytes);

// The taker gives up with errno value `error`: the giver's next bytes fail.
void fail_channel(byte_channel& channel, int error);

#endif
