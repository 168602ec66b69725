// Temporary files that hold parts of the report.
#include "report_spool.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// The folder temporary files are made in: $TMPDIR, or /tmp.
const char* spool_folder()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace

std::string spool_folder_named()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? "TMPDIR '" : "'") + spool_folder() + "'";
}

bool open_spool(report_spool& spool)
{
    std::string path = std::string(spool_folder()) + "/pagecheck-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0)
        return false;
    unlink(path.c_str());
    spool.file = fdopen(fd, "w+b");
    if (!spool.file) {
        close(fd);
        return false;
    }
    return true;
}

bool spool_write(report_spool& spool, const void* bytes, size_t n)
{
    return n == 0 || std::fwrite(bytes, 1, n, spool.file) == n;
}

bool spool_rewind(report_spool& spool)
{
    return std::fflush(spool.file) == 0 && std::fseek(spool.file, 0, SEEK_SET) == 0;
}

size_t spool_read(report_spool& spool, void* bytes, size_t n)
{
    return n == 0 || std::fread(bytes, 1, n, spool.file) == n ? n : 0;
}

bool spool_failed(const report_spool& spool)
{
    return std::ferror(spool.file) != 0;
}

void close_spool(report_spool& spool)
{
    if (spool.file)
        std::fclose(spool.file);
    spool.file = nullptr;
}
