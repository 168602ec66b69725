#include "report_spool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string spool_directory()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

report_spool open_spool(FILE* through)
{
    report_spool spool;
    spool.through = through;
    std::string path = spool_directory() + "/pagecheck-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        spool.error = errno;
        return spool;
    }
    unlink(path.c_str());
    spool.file = fdopen(fd, "w+b");
    if (!spool.file) {
        spool.error = errno;
        close(fd);
    }
    return spool;
}

bool spool_text(report_spool& spool, const std::string& text)
{
    FILE* to = spool.file ? spool.file : spool.through;
    return std::fwrite(text.data(), 1, text.size(), to) == text.size();
}

bool release_spool(report_spool& spool, FILE* out)
{
    if (!spool.file)
        return true;
    bool ok = std::fflush(spool.file) == 0 && std::fseek(spool.file, 0, SEEK_SET) == 0;
    char buffer[64 * 1024];
    while (ok) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, spool.file);
        if (n != 0 && std::fwrite(buffer, 1, n, out) != n)
            ok = false;
        if (n < sizeof buffer) {
            ok = ok && !std::ferror(spool.file);
            break;
        }
    }
    std::fclose(spool.file);
    spool.file = nullptr;
    return ok;
}
