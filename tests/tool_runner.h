// Runs a built binary as a separate process and captures what it did.
#ifndef PAGESMITH_TESTS_TOOL_RUNNER_H
#define PAGESMITH_TESTS_TOOL_RUNNER_H

#include <string>
#include <vector>

// What one run produced.
struct tool_result {
    int status = -1;   // exit status, or 128 + signal number
    std::string out;   // standard output
    std::string err;   // error stream
};

// Where the run's streams come from and go to.
struct run_options {
    std::string stdin_path = "/dev/null";  // standard input
    int stdin_fd = -1;                     // standard input instead, when not -1
    std::string stdout_path;               // empty: captured into out
    int stdout_fd = -1;                    // standard output instead, when not -1
    int stderr_fd = -1;                    // error stream instead of err, when not -1
    std::vector<std::string> environment;  // "NAME=value" settings added for the run
    std::string cwd;                       // empty: the test's own
    int user = -1;                         // user and group id to run as; -1 unchanged
    std::vector<int> closed;               // descriptors the run starts without
    long file_size_limit = -1;             // largest file the run may write; -1 none
};

// argv as the null-terminated array that execv takes; points into argv.
std::vector<char*> exec_arguments(const std::vector<std::string>& argv);

// Runs argv (argv[0] is the program path) and waits for it.
tool_result run_tool(const std::vector<std::string>& argv, const run_options& options = {});

// A fresh directory, removed with everything in it when this goes away.
struct scratch_dir {
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string path;                                     // the directory
    std::string file(const std::string& name) const;      // path of a file in it
    std::vector<std::string> names() const;               // what it holds, sorted
};

// Whole contents of a file ("" when missing).
std::string read_file(const std::string& path);

// n pseudo-random bytes, the same for the same seed.
std::string random_bytes(size_t n, unsigned seed);

// Writes bytes to a file, replacing it.
void write_file(const std::string& path, const std::string& bytes);

// Writes `input` to "in.bin" in `dir` and converts it, with the converter at
// `pagesmith` and `options`, into the image `name` in `dir`, run as `run`
// says.
tool_result convert_input(const std::string& pagesmith, const scratch_dir& dir,
                          const std::string& name, const std::string& input,
                          const std::vector<std::string>& options, const run_options& run = {});

// "" when a equals b, else where they first differ, with the line there.
std::string first_difference(const std::string& a, const std::string& b);

#endif
