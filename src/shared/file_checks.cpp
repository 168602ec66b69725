// Checks on the descriptors and files a tool starts with.
#include "file_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int open_missing_standard_descriptors()
{
    int opened_mask = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Lower descriptors are open by now, so this takes fd itself.
        const int opened = open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0)
                close(opened);
            return -1;
        }
        opened_mask |= 1 << fd;
    }
    return opened_mask;
}

namespace {

// True when a and b are the same regular file or the same block device.
bool same_storage(const struct stat& a, const struct stat& b)
{
    if (S_ISREG(a.st_mode) && S_ISREG(b.st_mode))
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return false;
}

// True when writing to the file that `written` describes would overwrite
// what descriptor read_fd reads.
bool overwrites_stat(int read_fd, const struct stat& written)
{
    struct stat read_stat;
    return fstat(read_fd, &read_stat) == 0 && same_storage(read_stat, written);
}

}  // namespace

bool overwrites(int fd, const char* name)
{
    struct stat named_stat;
    return stat(name, &named_stat) == 0 && overwrites_stat(fd, named_stat);
}

bool overwrites(int read_fd, int write_fd)
{
    struct stat write_stat;
    return fstat(write_fd, &write_stat) == 0 && overwrites_stat(read_fd, write_stat);
}

bool same_destination(int a, int b)
{
    struct stat a_stat;
    struct stat b_stat;
    if (fstat(a, &a_stat) != 0 || fstat(b, &b_stat) != 0)
        return false;
    if (S_ISCHR(a_stat.st_mode) && S_ISCHR(b_stat.st_mode))
        return a_stat.st_rdev == b_stat.st_rdev && isatty(a) != 0;
    return a_stat.st_dev == b_stat.st_dev && a_stat.st_ino == b_stat.st_ino;
}

bool writes_into(int fd, const char* name)
{
    struct stat named_stat;
    struct stat written_stat;
    if (stat(name, &named_stat) != 0 || fstat(fd, &written_stat) != 0)
        return false;
    if (S_ISCHR(named_stat.st_mode))
        return false;
    if (same_storage(named_stat, written_stat))
        return true;
    return !S_ISBLK(named_stat.st_mode) && named_stat.st_dev == written_stat.st_dev &&
           named_stat.st_ino == written_stat.st_ino;
}
