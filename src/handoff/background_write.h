// Writing to a descriptor on a thread of its own, so that the run goes on
// reading and checking while its output is written.
#ifndef PAGESMITH_BACKGROUND_WRITE_H
#define PAGESMITH_BACKGROUND_WRITE_H

#include <thread>

#include "byte_channel.h"

// A descriptor written by a thread from a channel.
struct background_write {
    byte_channel channel;  // what to write, in order
    std::thread thread;    // writes each block whole, until the end or a failure
    int fd = -1;
};

// Starts writing to descriptor fd whatever is given to `write.channel`.
void start_background_write(background_write& write, int fd);

// Ends the channel, waits until every byte given was written, and stops the
// thread.  False with errno set when a write failed (the bytes given after
// it were not written).  Does nothing more once called.
bool finish_background_write(background_write& write);

#endif
