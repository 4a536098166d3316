#include "core/FileInput.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Robust.h"

FILE* OpenInputFile(const std::string& name, const char* what) {
    struct stat st;
    // A folder opens for reading on POSIX systems but holds no text to read.
    bool isDir = stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    FILE* handle = isDir ? nullptr : std::fopen(name.c_str(), "r");
    if (handle == nullptr) {
        std::printf("Error: Cannot open %s file named %s\n", what, name.c_str());
        std::printf("System aborted. \n");
        FatalExit(1);
    }
    return handle;
}

bool ReadFileChunks(FILE* file, const std::function<void(const char*, size_t)>& sink, std::string& error) {
    // zlib reads through its own descriptor (sharing the file's position), so
    // that closing it leaves the caller's FILE open; plain data pass through.
    int fd = dup(fileno(file));
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    gzFile gz = gzdopen(fd, "rb");
    if (gz == nullptr) {
        close(fd);
        error = "out of memory";
        return false;
    }
    gzbuffer(gz, 1 << 17);
    char buf[1 << 16];
    int got;
    while ((got = gzread(gz, buf, sizeof buf)) > 0) sink(buf, static_cast<size_t>(got));
    int code = Z_OK;
    const char* message = gzerror(gz, &code);
    bool ok = true;
    if (code == Z_ERRNO) {
        error = std::strerror(errno);
        ok = false;
    } else if (code == Z_BUF_ERROR) {
        error = "the compressed data end early (the file is cut short)";
        ok = false;
    } else if (code != Z_OK || got < 0) {
        error = std::string("the compressed data are damaged (") + (message ? message : "zlib error") + ")";
        ok = false;
    }
    gzclose(gz);
    return ok;
}

bool ReadWholeFile(FILE* file, std::string& text, std::string& error) {
    text.clear();
    return ReadFileChunks(file, [&text](const char* piece, size_t n) { text.append(piece, n); }, error);
}

void FileReadFailed(const char* what, const std::string& name, const std::string& error) {
    std::printf("Error: Cannot read %s file named %s: %s\n", what, name.c_str(), error.c_str());
    std::printf("System aborted. \n");
    FatalExit(1);
}

std::string ReadWholeFileOrExit(FILE* file, const char* what, const std::string& name) {
    std::string text, error;
    if (!ReadWholeFile(file, text, error)) FileReadFailed(what, name, error);
    return text;
}

bool TextCheck::Feed(const char* piece, size_t n) {
    if (line_ != 0) return false;
    const void* nul = std::memchr(piece, '\0', n);
    const char* upTo = nul != nullptr ? static_cast<const char*>(nul) : piece + n;
    lines_ += std::count(piece, upTo, '\n');
    if (nul == nullptr) return true;
    line_ = lines_ + 1;
    return false;
}

std::string TextCheck::Error() const {
    return Ok() ? std::string() : "line " + std::to_string(line_) + " holds a NUL byte: not a text file";
}
