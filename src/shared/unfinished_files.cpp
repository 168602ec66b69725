// The registry of unfinished files, and their removal at the end of a run or
// on a signal.
#include "unfinished_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace {

// What the removal reads: plain bytes, read without allocating.
// temp_path[i] is output i's temporary file while temp_live[i]; made_path[i]
// the file this run created to hold its name, on made_device[i] with inode
// made_inode[i], while made_live[i].
char temp_path[MAX_UNFINISHED][PATH_MAX];
char made_path[MAX_UNFINISHED][PATH_MAX];
dev_t made_device[MAX_UNFINISHED];
ino_t made_inode[MAX_UNFINISHED];
volatile sig_atomic_t temp_live[MAX_UNFINISHED];
volatile sig_atomic_t made_live[MAX_UNFINISHED];

}  // namespace

void remove_unfinished_files()
{
    for (int i = 0; i < MAX_UNFINISHED; ++i) {
        if (temp_live[i]) {
            unlink(temp_path[i]);
            temp_live[i] = 0;
        }
        struct stat named;
        if (made_live[i] && lstat(made_path[i], &named) == 0 &&
            named.st_dev == made_device[i] && named.st_ino == made_inode[i])
            unlink(made_path[i]);
        made_live[i] = 0;
    }
}

namespace {

// On SIGINT, SIGTERM or SIGHUP: removes what is unfinished, then ends as the
// signal would have.
void on_signal(int signal)
{
    remove_unfinished_files();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Catches the signals that end a run unless they are ignored (a run in the
// background of a shell without job control keeps ignoring them); once.
void start_removal()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now;
        if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            std::signal(signal, on_signal);
    }
}

// Copies `path` into a buffer that the removal reads; false when it does
// not fit.
bool keep_path(char (&buffer)[PATH_MAX], const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

int make_unfinished_temp(int n, const std::string& pattern)
{
    if (!keep_path(temp_path[n], pattern)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    start_removal();
    // The ending signals wait until the file is registered.
    sigset_t ending;
    sigset_t before;
    sigemptyset(&ending);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, signal);
    sigprocmask(SIG_BLOCK, &ending, &before);
    const int fd = mkstemp(temp_path[n]);
    temp_live[n] = fd >= 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return fd;
}

const char* unfinished_temp_path(int n)
{
    return temp_path[n];
}

void forget_temp(int n)
{
    temp_live[n] = 0;
}

void remove_temp(int n)
{
    if (temp_live[n])
        unlink(temp_path[n]);
    temp_live[n] = 0;
}

void note_created(int n, const std::string& path, dev_t device, ino_t inode)
{
    start_removal();
    made_device[n] = device;
    made_inode[n] = inode;
    made_live[n] = keep_path(made_path[n], path);
}

void keep_created(int n)
{
    made_live[n] = 0;
}
