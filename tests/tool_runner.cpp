#include "tool_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace {

// Longest a run may take, far beyond any run of the tests.
constexpr unsigned CHILD_TIME_LIMIT_SECONDS = 300;

// Points descriptor `fd` at `path` in the child; leaves it alone on failure
// so that the run fails visibly.
void redirect(int fd, const std::string& path, int flags)
{
    const int opened = open(path.c_str(), flags, 0644);
    if (opened < 0)
        _exit(126);
    dup2(opened, fd);
    close(opened);
}

}  // namespace

std::vector<char*> exec_arguments(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

tool_result run_tool(const std::vector<std::string>& argv, const run_options& options)
{
    scratch_dir capture;
    const std::string out_path =
        options.stdout_path.empty() ? capture.file("stdout") : options.stdout_path;
    const std::string err_path = capture.file("stderr");

    std::vector<char*> args = exec_arguments(argv);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // A hung run is killed rather than left behind the test.
        alarm(CHILD_TIME_LIMIT_SECONDS);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
            _exit(126);
        if (options.stdin_fd >= 0)
            dup2(options.stdin_fd, 0);
        else
            redirect(0, options.stdin_path, O_RDONLY);
        if (options.stdout_fd >= 0)
            dup2(options.stdout_fd, 1);
        else
            redirect(1, out_path, O_WRONLY | O_CREAT | O_TRUNC);
        if (options.stderr_fd >= 0)
            dup2(options.stderr_fd, 2);
        else
            redirect(2, err_path, O_WRONLY | O_CREAT | O_TRUNC);
        for (const std::string& setting : options.environment)
            putenv(const_cast<char*>(setting.c_str()));
        for (const int fd : options.closed)
            close(fd);
        if (options.file_size_limit >= 0) {
            // A write past the limit then fails with EFBIG instead of a signal.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {static_cast<rlim_t>(options.file_size_limit),
                                  static_cast<rlim_t>(options.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(126);
        }
        if (options.user >= 0 &&
            (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(options.user)) != 0 ||
             setuid(static_cast<uid_t>(options.user)) != 0))
            _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0) {
    }
    tool_result result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                           : 128 + WTERMSIG(wait_status);
    if (options.stdout_path.empty() && options.stdout_fd < 0)
        result.out = read_file(out_path);
    if (options.stderr_fd < 0)
        result.err = read_file(err_path);
    return result;
}

scratch_dir::scratch_dir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pagesmith-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

scratch_dir::~scratch_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string scratch_dir::file(const std::string& name) const
{
    return path + "/" + name;
}

std::vector<std::string> scratch_dir::names() const
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

tool_result convert_input(const std::string& pagesmith, const scratch_dir& dir,
                          const std::string& name, const std::string& input,
                          const std::vector<std::string>& options, const run_options& run)
{
    write_file(dir.file("in.bin"), input);
    std::vector<std::string> argv = {pagesmith, dir.file("in.bin"), dir.file(name)};
    argv.insert(argv.end(), options.begin(), options.end());
    return run_tool(argv, run);
}

std::string first_difference(const std::string& a, const std::string& b)
{
    if (a == b)
        return "";
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    const size_t line_start = at == 0 ? 0 : a.rfind('\n', at - 1) + 1;
    auto line_of = [&](const std::string& s) {
        const size_t end = s.find('\n', line_start);
        return s.substr(line_start, std::min<size_t>(end, line_start + 80) - line_start);
    };
    return "first difference at byte " + std::to_string(at) + " of " +
           std::to_string(a.size()) + " / " + std::to_string(b.size()) + ": [" + line_of(a) +
           "] / [" + line_of(b) + "]";
}
