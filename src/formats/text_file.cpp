#include "formats/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool read_text_file(const std::string& path, std::size_t max_bytes, const char* limit, const char* what,
                    std::string& text, InputError& error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = file_error(path, std::strerror(errno));
        return false;
    }
    text.clear();
    char buf[65536];
    std::size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= max_bytes)
        text.append(buf, got);
    const bool failed = std::ferror(f) != 0;
    const int reason = errno;
    std::fclose(f);
    if (failed) {
        error = file_error(path, std::strerror(reason));
        return false;
    }
    if (text.size() > max_bytes) {
        error = file_error(path, std::string("larger than ") + limit + ": not " + what);
        return false;
    }
    return true;
}
