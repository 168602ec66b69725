#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

// Whether the file was there before the run opened it.
enum class file_origin { existed, created };

// One file opened by open_unemptied().
struct output_file {
    const char* name;   // as given
    std::string path;   // where the file is: the name, or where its links lead
    int fd;
    file_origin origin;
};

// Whether the files have been emptied, after which they all stay.
enum class output_state { opening, emptied };

// The run writes at most the recovered input and the picture; room to spare.
constexpr int MAX_OUTPUTS = 4;

// Symbolic links followed to a file that does not exist yet, as the system
// follows them on open.
constexpr int MAX_LINKS = 40;

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
        if (f.origin == file_origin::created && lstat(f.path.c_str(), &named) == 0 &&
            fstat(f.fd, &opened) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            unlink(f.path.c_str());
    }
}

// Moves `path` one step along the symbolic link it names; leaves it as it
// is when it names no link.
void follow_link(std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return;
    target[n] = '\0';
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    path = target[0] == '/' ? std::string(target) : directory + target;
}

// Opens `path` to write without truncating it, and tells whether this call
// created it: O_EXCL makes the creation certain to be ours.  A name taken
// by a symbolic link to a missing file is followed to where the file is
// made, so `path` ends where the file is.
int open_without_truncating(std::string& path, file_origin& origin)
{
    for (int step = 0; step <= MAX_LINKS; ++step) {
        origin = file_origin::existed;
        int fd = open(path.c_str(), O_WRONLY);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        origin = file_origin::created;
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        // A dangling link, or a file that someone made in between.
        follow_link(path);
    }
    errno = ELOOP;
    return -1;
}

}  // namespace

FILE* open_unemptied(const char* name)
{
    if (output_count == MAX_OUTPUTS) {
        errno = EMFILE;
        return nullptr;
    }
    file_origin origin;
    std::string path = name;
    const int fd = open_without_truncating(path, origin);
    if (fd < 0)
        return nullptr;
    if (output_count == 0)
        std::atexit(remove_created_files);
    outputs[output_count++] = {name, path, fd, origin};
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
