// pagesmith: turns an input file into a large-page NAND flash image.
//
//   pagesmith INPUT OUTPUT [-s|-d] [-f] [-b] [-B n...] [-h] [-F size]
//
// The driver echoes both names, opens the input, checks the output name,
// walks the options and works out the header size, and only then empties or
// creates the image file and runs the image writer.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command_line.h"
#include "errors.h"
#include "file_checks.h"
#include "image_writer.h"
#include "output_files.h"
#include "unfinished_files.h"

namespace {

// The trace on the standard output.  Flushed when the run ends, as a
// stream would be: a run may end from any of the checks after the names are
// echoed, and its trace so far still goes out.
trace_output trace;

// The input and image buffers: too large for the stack.
writer_input input;
writer_output output;

// Ends the run with `status`: what it left unfinished is removed, and its
// trace so far goes out.
[[noreturn]] void end_run(int status)
{
    remove_unfinished_files();
    flush_trace(trace);
    std::exit(status);
}

// Writes a printf-style message and ends the run with status 1.
[[noreturn]] __attribute__((format(printf, 1, 2))) void fail_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(PAGESMITH_ERRORS, format, args);
    va_end(args);
    end_run(PAGESMITH_ERRORS.status);
}

// Writes "WORD: system error text" for the current errno, as perror does,
// and ends the run with status 1.
[[noreturn]] void fail_errno(const char* word)
{
    say(PAGESMITH_ERRORS, "%s", errno_text(word).c_str());
    end_run(PAGESMITH_ERRORS.status);
}

}  // namespace

// Writes the usage text to the error stream and ends with status 1.
[[noreturn]] void usage(const char* const* argv)
{
    const char* name = argv[0] ? argv[0] : "pagesmith";
    std::fprintf(stderr, "usage: %s [-s|-d|-f|-b|-h] file1 file2\n", name);
    std::fputs("\t-s    - introduce a single bit error per page\n"
               "\t-d    - introduce a double bit error per page\n"
               "\t-f    - fill out to the end of block (64 pages)\n"
               "\t-b    - introduce a bad block table\n"
               "\t-B    - add a list of bad blocks\n"
               "\t-h    - prepend a header page to the executable\n"
               "\t-i    - write output in Intel hex format\n"
               "\t-F nn - force a header size which is not the input file size\n",
               stderr);
    end_run(PAGESMITH_ERRORS.status);
}

// Size of the named file, low 32 bits; a failed stat ends with status 1.
// Only a regular file has a size worth storing: for a pipe, a FIFO or a
// device it would be 0, a wrong header, so the run is refused instead.
int32_t fsize(const char* name)
{
    struct stat st;
    if (stat(name, &st) != 0)
        fail_errno("stat");
    if (!S_ISREG(st.st_mode))
        fail_message("'%s' is not a regular file, so its size is unknown: "
                     "give the header size with -F\n", name);
    return static_cast<int32_t>(static_cast<uint32_t>(st.st_size));
}

namespace {

// The refusal of an image file that would overwrite what the run reads or
// share a file with what it writes.
constexpr const char* SAME_FILE_MESSAGE = "Input and output are the same file '%s'\n";

// Opens `name` for reading; a failure ends with status 1.
int open_input(const char* name)
{
    const int in = open(name, O_RDONLY);
    if (in < 0)
        fail_errno("open");
    return in;
}

// Refuses an output name that is the input itself (the same file through
// any link, or the same block device): writing to it would destroy the input.
void refuse_same_file(int in, const char* output_name)
{
    if (overwrites(in, output_name))
        fail_message(SAME_FILE_MESSAGE, output_name);
}

// Refuses an output name that the trace or the messages already go into
// (/dev/stdout, "> img", "2>> img"): the image would hold them.  The
// refusal goes to whichever stream is not that file, and the names echoed
// so far are dropped when the trace stream is that file, so that nothing
// of the run lands in it.
void refuse_standard_stream_output(const char* output_name)
{
    const bool into_trace = writes_into(STDOUT_FILENO, output_name);
    const bool into_messages = writes_into(STDERR_FILENO, output_name);
    if (!into_trace && !into_messages)
        return;
    if (into_messages) {
        trace_text(trace, "Input and output are the same file '");
        trace_text(trace, output_name);
        trace_line(trace, "'");
    } else {
        std::fprintf(stderr, SAME_FILE_MESSAGE, output_name);
    }
    if (into_trace)
        _exit(PAGESMITH_ERRORS.status);
    end_run(PAGESMITH_ERRORS.status);
}

// Refuses an input that cannot be read as a file (a directory) with the
// message its first read would give.
void refuse_unreadable_input(int in)
{
    struct stat st;
    if (fstat(in, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        fail_errno("fread");
    }
}

// Opens the image file as opening it to write would, but leaves an existing
// file as it is: a failure to open is reported here, in its place before
// the option messages.  A FIFO is only checked for writing here: opening it
// waits for its reader, which a rejected command line must not do.
// Returns the output's number.
int open_output(const char* name)
{
    const int output = open_output_file(name, fifo_opening::when_started);
    if (output < 0)
        fail_errno("open");
    return output;
}

// Starts writing the image once the command line has passed every check:
// a new file replaces a regular one when complete, anything else is
// written in place; returns the descriptor to write.
int create_output(int output)
{
    if (start_output_files() != nullptr)
        fail_errno("open");
    return output_descriptor(output);
}

// Reports a rejected command line and ends with status 1.
[[noreturn]] void reject(const parse_result& result, const char* const* argv)
{
    if (result.status == parse_status::bad_argument) {
        if (result.too_many_bad_blocks)
            std::fputs("Too many bad blocks\n", stderr);
        std::fprintf(stderr, "Bad argument '%s'\n", argv[result.bad_index]);
    }
    usage(argv);
}

// Reports a failure that stopped the image writer and ends with status 1.
[[noreturn]] void fail_writer(const writer_error& error)
{
    const char* word = "fwrite";
    switch (error.failure) {
    case writer_failure::input_read:
        word = "fread";
        break;
    case writer_failure::image_write:
    case writer_failure::none:
        break;
    }
    say(PAGESMITH_ERRORS, "%s: %s\n", word, std::strerror(error.error));
    end_run(PAGESMITH_ERRORS.status);
}

// Refuses an image whose header pages hold a size other than that of the
// input read (low 32 bits): the file system reported another size (a file
// of /proc or /sys), or the file grew or shrank while it was read.  The
// image is not put in place.
void refuse_changed_size(const char* name, uint64_t read, int32_t header_size)
{
    const auto stored = static_cast<uint32_t>(header_size);
    if (static_cast<uint32_t>(read) != stored)
        fail_message("'%s' gave %" PRIu64 " bytes, but its size was %" PRIu32
                     " when the header pages were written: give the header size with -F\n",
                     name, read, stored);
}

// Flushes the image, puts it in place of the old one and closes it, then
// flushes the trace; any failure ends with status 1, so a run never reports
// success for bytes that were lost, and leaves the old image as it was.  A
// trace write that failed during the run is reported after the image is
// complete.
void finish(writer_output& output, int image)
{
    const writer_error error = flush_image(output);
    if (error.failure != writer_failure::none) {
        errno = error.error;
        fail_errno("fwrite");
    }
    if (!finish_output_file(image) || close(output.image) != 0)
        fail_errno("fwrite");
    const int trace_error = flush_trace(*output.trace);
    if (trace_error != 0) {
        errno = trace_error;
        fail_errno("stdout");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // A file opened below must never become a standard stream, where the
    // trace or a message would be written into it.
    if (open_missing_standard_descriptors() < 0)
        return 1;
    // A reader of the trace that goes away early fails the trace writes
    // instead of ending the run: the image is completed.
    std::signal(SIGPIPE, SIG_IGN);

    // On a terminal the trace shows as it goes.
    start_trace(trace, STDOUT_FILENO);

    if (argc <= 2)
        usage(argv);

    // The whole command line is checked before the image file is emptied or
    // created; the messages keep their order: opening errors first.
    trace_line(trace, argv[1]);
    const int in = open_input(argv[1]);

    trace_line(trace, argv[2]);
    refuse_same_file(in, argv[2]);
    refuse_standard_stream_output(argv[2]);
    const int image = open_output(argv[2]);

    run_settings settings;
    const parse_result result = parse_options(argc, argv, settings);
    if (result.status != parse_status::ok)
        reject(result, argv);

    int32_t header_size = 0;
    if (settings.header)
        header_size = settings.forced_header_size != 0 ? settings.forced_header_size
                                                       : fsize(argv[1]);
    refuse_unreadable_input(in);

    start_input(input, in);
    start_output(output, create_output(image), trace, stderr);
    const writer_error error = read_data(input, output, settings, header_size);
    if (error.failure != writer_failure::none)
        fail_writer(error);
    if (settings.header && settings.forced_header_size == 0)
        refuse_changed_size(argv[1], input.total, header_size);
    finish(output, image);
    return 0;
}
