#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Whether the file was there before the run opened it.
enum class file_origin { existed, created };

// One file opened by open_unemptied().
struct output_file {
    const char* name;
    int fd;
    file_origin origin;
};

// Whether the files have been emptied, after which they all stay.
enum class output_state { opening, emptied };

// The run writes at most the recovered input and the picture; room to spare.
constexpr int MAX_OUTPUTS = 4;

output_file outputs[MAX_OUTPUTS];
int output_count = 0;
output_state state = output_state::opening;

// At exit before the files were emptied: removes each file this run
// created, as long as its name still leads to the file that was opened.
void remove_created_files()
{
    if (state == output_state::emptied)
        return;
    for (int i = 0; i < output_count; ++i) {
        const output_file& f = outputs[i];
        struct stat named;
        struct stat opened;
        if (f.origin == file_origin::created && lstat(f.name, &named) == 0 &&
            fstat(f.fd, &opened) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            unlink(f.name);
    }
}

// Opens `name` to write without truncating it, and tells whether this call
// created it: O_EXCL makes the creation certain to be ours.
int open_without_truncating(const char* name, file_origin& origin)
{
    // A second round covers a file that someone else made in between.
    for (int round = 0; round < 2; ++round) {
        origin = file_origin::existed;
        int fd = open(name, O_WRONLY);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        origin = file_origin::created;
        fd = open(name, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    // A symbolic link to a file that does not exist: the file is made
    // through it, as fopen would, and is not removed again.
    origin = file_origin::existed;
    return open(name, O_WRONLY | O_CREAT, 0666);
}

}  // namespace

FILE* open_unemptied(const char* name)
{
    if (output_count == MAX_OUTPUTS) {
        errno = EMFILE;
        return nullptr;
    }
    file_origin origin;
    const int fd = open_without_truncating(name, origin);
    if (fd < 0)
        return nullptr;
    if (output_count == 0)
        std::atexit(remove_created_files);
    outputs[output_count++] = {name, fd, origin};
    return fdopen(fd, "wb");
}

const char* empty_output_files()
{
    for (int i = 0; i < output_count; ++i) {
        struct stat opened;
        if (fstat(outputs[i].fd, &opened) != 0)
            return outputs[i].name;
        if (S_ISREG(opened.st_mode) && ftruncate(outputs[i].fd, 0) != 0)
            return outputs[i].name;
    }
    state = output_state::emptied;
    return nullptr;
}
