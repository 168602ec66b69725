// Output files: opened unemptied, then replaced whole or written in place.
#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "unfinished_files.h"

namespace {

// How an output is written once the run starts.
enum class output_way { not_started, replaced, in_place, finished };

// One output file.
struct output_file {
    const char* name;       // as given
    std::string path;       // where the file is: the name, or where its links lead
    int fd;                 // what the tool writes through; -1: a FIFO not yet opened
    bool created;           // this run made the file, empty, to hold the name
    dev_t device;           // the file's identity, to tell that the name still
    ino_t inode;            // leads to it
    output_way way;
    output_start start;     // with the others, or on its own
};

constexpr int MAX_OUTPUTS = MAX_UNFINISHED;  // the recovered input, the picture, the
                                             // repaired image

constexpr int MAX_LINKS = 40;  // symbolic links followed, as open follows them

output_file outputs[MAX_OUTPUTS];
int output_count = 0;

// Moves `path` one step along the symbolic link it names; false when it
// names no link.
bool follow_link(std::string& path)
{
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    path = target[0] == '/' ? std::string(target) : directory + target;
    return true;
}

// Opens `f.path` to write without truncating it, creating it when it does
// not exist: O_EXCL makes the creation certain to be this run's.  A name
// taken by a symbolic link to a missing file is followed to where the file
// is made.  A FIFO is left unopened when its opening waits for the start.
int open_without_truncating(output_file& f, fifo_opening fifo)
{
    for (int step = 0; step <= MAX_LINKS; ++step) {
        struct stat st;
        if (fifo == fifo_opening::when_started && stat(f.path.c_str(), &st) == 0 &&
            S_ISFIFO(st.st_mode))
            return access(f.path.c_str(), W_OK) == 0 ? -1 : -2;
        f.created = false;
        int fd = open(f.path.c_str(), O_WRONLY);
        if (fd >= 0 || errno != ENOENT)
            return fd < 0 ? -2 : fd;
        f.created = true;
        fd = open(f.path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd < 0 ? -2 : fd;
        // A dangling link, or a file that someone made in between.
        follow_link(f.path);
    }
    errno = ELOOP;
    return -2;
}

}  // namespace

int open_output_file(const char* name, fifo_opening fifo, output_start start)
{
    if (output_count == MAX_OUTPUTS) {
        errno = EMFILE;
        return -1;
    }
    output_file& f = outputs[output_count];
    f = {name, name, -1, false, 0, 0, output_way::not_started, start};
    f.fd = open_without_truncating(f, fifo);
    if (f.fd == -2)
        return -1;
    struct stat st;
    if (f.fd >= 0 && fstat(f.fd, &st) == 0) {
        f.device = st.st_dev;
        f.inode = st.st_ino;
    }
    if (f.created)
        note_created(output_count, f.path, f.device, f.inode);
    return output_count++;
}

int output_descriptor(int n)
{
    return outputs[n].fd;
}

namespace {

// Writes output `f` in place, emptied first when a regular file: a FIFO is
// opened now, waiting for its reader.  A file the run created stays.
bool start_in_place(output_file& f, int n)
{
    keep_created(n);
    f.way = output_way::in_place;
    if (f.fd < 0)
        f.fd = open(f.path.c_str(), O_WRONLY);
    struct stat st;
    return f.fd >= 0 && fstat(f.fd, &st) == 0 && (!S_ISREG(st.st_mode) || ftruncate(f.fd, 0) == 0);
}

// The pattern of the temporary file beside `path`: ".NAME.XXXXXX" in its
// folder.
std::string temp_pattern(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
}

// Makes output `n`'s temporary file, with the owner, group and mode of the
// file `st` describes; -1 when that cannot be done, and it is then written
// in place.  The ending signals are held off until the file is registered
// for removal.
int make_temp(int n, const struct stat& st)
{
    const int fd = make_unfinished_temp(n, temp_pattern(outputs[n].path));
    if (fd < 0)
        return -1;
    struct stat made;
    bool kept = fstat(fd, &made) == 0;
    if (kept && (made.st_uid != st.st_uid || made.st_gid != st.st_gid))
        kept = fchown(fd, st.st_uid, st.st_gid) == 0;
    if (kept)
        kept = fchmod(fd, st.st_mode & 07777) == 0;
    if (kept)
        return fd;
    close(fd);
    remove_temp(n);
    return -1;
}

// Moves `f.path` from a symbolic link to the file it leads to, so that the
// replacement is renamed over that file and the link stays; false when the
// name no longer leads to the file `st` describes.
bool settle_path(output_file& f, const struct stat& st)
{
    struct stat named;
    if (lstat(f.path.c_str(), &named) != 0)
        return false;
    if (S_ISLNK(named.st_mode)) {
        char* target = realpath(f.path.c_str(), nullptr);
        if (!target)
            return false;
        f.path = target;
        std::free(target);
        if (lstat(f.path.c_str(), &named) != 0)
            return false;
    }
    return named.st_dev == st.st_dev && named.st_ino == st.st_ino;
}

// Whether an output that cannot be replaced is written in place.
enum class otherwise { in_place, not_started };

// Starts output `n`: replaced by a temporary file where it is a regular
// file of one link and one can be made beside it, else in place or not.
bool start_output(int n, otherwise fallback = otherwise::in_place)
{
    output_file& f = outputs[n];
    struct stat st;
    const bool replaceable = f.fd >= 0 && fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode) &&
                             st.st_nlink == 1 && settle_path(f, st);
    const int temp = replaceable ? make_temp(n, st) : -1;
    if (temp < 0)
        return fallback == otherwise::in_place && start_in_place(f, n);
    // The tool's descriptor now leads to the temporary file.
    const bool moved = dup2(temp, f.fd) >= 0;
    const int saved = errno;
    close(temp);
    errno = saved;
    f.way = output_way::replaced;
    return moved;
}

}  // namespace

const char* start_output_files()
{
    for (int n = 0; n < output_count; ++n)
        if (outputs[n].way == output_way::not_started &&
            outputs[n].start == output_start::with_the_others && !start_output(n))
            return outputs[n].name;
    return nullptr;
}

bool start_output_file(int n)
{
    return outputs[n].way != output_way::not_started || start_output(n);
}

bool start_replaced_output_file(int n)
{
    return outputs[n].way == output_way::not_started && start_output(n, otherwise::not_started) &&
           outputs[n].way == output_way::replaced;
}

void abandon_output_file(int n)
{
    output_file& f = outputs[n];
    if (f.way != output_way::replaced)
        return;
    remove_temp(n);
    f.way = output_way::finished;
}

bool finish_output_file(int n)
{
    output_file& f = outputs[n];
    const bool replaced = f.way == output_way::replaced;
    f.way = output_way::finished;
    if (replaced &&
        (fsync(f.fd) != 0 || rename(unfinished_temp_path(n), f.path.c_str()) != 0)) {
        const int saved = errno;
        remove_temp(n);
        errno = saved;
        return false;
    }
    forget_temp(n);
    if (replaced)
        keep_created(n);
    return true;
}

void close_output_files()
{
    for (int n = 0; n < output_count; ++n)
        if (outputs[n].fd >= 0)
            close(outputs[n].fd);
    remove_unfinished_files();
    output_count = 0;
}
