#include "stream_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

// Descriptor 3 of the child is the image pipe; opening this name reopens it.
const char* const streamed_image_name = "/dev/fd/3";

namespace {

// Reads what is ready on `fd` into `sink`; false at end of stream.
bool drain(int fd, const stream_sink& sink)
{
    static char buffer[1 << 16];
    ssize_t n;
    do
        n = read(fd, buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        throw std::runtime_error("read from a pipe failed");
    if (n > 0)
        sink(buffer, static_cast<size_t>(n));
    return n > 0;
}

}  // namespace

tool_result run_streamed(const std::vector<std::string>& argv, const stream_sink& image,
                         const stream_sink& trace)
{
    // Pipes for the child's descriptors 3 (image), 1 (trace) and 2.
    int pipes[3][2];
    for (auto& p : pipes)
        if (pipe2(p, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    std::vector<char*> args = exec_arguments(argv);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd < 0 || dup2(null_fd, 0) < 0 || dup2(pipes[0][1], 3) < 0 ||
            dup2(pipes[1][1], 1) < 0 || dup2(pipes[2][1], 2) < 0)
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    for (auto& p : pipes)
        close(p[1]);

    tool_result result;
    const stream_sink error_sink = [&](const char* bytes, size_t n) { result.err.append(bytes, n); };
    const stream_sink* sinks[3] = {&image, &trace, &error_sink};
    pollfd fds[3];
    for (int i = 0; i < 3; ++i)
        fds[i] = {pipes[i][0], POLLIN, 0};
    for (int open_count = 3; open_count > 0;) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 3; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            if (!drain(fds[i].fd, *sinks[i])) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0) {
    }
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                           : 128 + WTERMSIG(wait_status);
    return result;
}
