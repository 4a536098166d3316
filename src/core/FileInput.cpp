#include "core/FileInput.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "core/Robust.h"

FILE* OpenInputFile(const std::string& name, const char* what) {
    struct stat st;
    // A folder opens for reading on POSIX systems but holds no text to read.
    bool isDir = stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    FILE* handle = isDir ? nullptr : std::fopen(name.c_str(), "r");
    if (handle == nullptr) {
        std::cout << "Error: Cannot open " << what << " file named " << name << "\nSystem aborted. \n";
        FatalExit(1);
    }
    return handle;
}

namespace {

bool GzipMagic(const unsigned char* p, size_t n) { return n >= 2 && p[0] == 0x1f && p[1] == 0x8b; }

bool AllNul(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace

bool ReadFileChunks(FILE* file, const std::function<void(const char*, size_t)>& sink, std::string& error) {
    // A file is gzip data when it starts as gzip does, and then it must be
    // gzip data to its end: one or more members (gzip and bgzip both write
    // several), or NUL padding. Plain text appended to a compressed file (a
    // `cat more >> file.gz`) would otherwise be dropped without a word.
    std::vector<unsigned char> in(1 << 16);
    std::vector<char> out(1 << 17);
    size_t have = std::fread(in.data(), 1, in.size(), file);
    if (std::ferror(file)) {
        error = std::strerror(errno);
        return false;
    }
    if (!GzipMagic(in.data(), have)) {
        for (;;) {
            if (have > 0) sink(reinterpret_cast<const char*>(in.data()), have);
            if (have < in.size() && std::feof(file)) break;
            have = std::fread(in.data(), 1, in.size(), file);
            if (std::ferror(file)) {
                error = std::strerror(errno);
                return false;
            }
            if (have == 0) break;
        }
        return true;
    }
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) {
        error = "out of memory";
        return false;
    }
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(have);
    bool ok = true, inMember = true;
    long long after = 0;  // bytes read before the current buffer
    while (ok) {
        if (z.avail_in == 0) {
            after += static_cast<long long>(have);
            have = std::fread(in.data(), 1, in.size(), file);
            if (std::ferror(file)) {
                error = std::strerror(errno);
                ok = false;
                break;
            }
            if (have == 0) {
                if (inMember) {
                    error = "the compressed data end early (the file is cut short)";
                    ok = false;
                }
                break;
            }
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(have);
        }
        if (!inMember) {
            // Between members: another member, NUL padding, or data that are
            // not compressed at all.
            const unsigned char* rest = z.next_in;
            if (AllNul(rest, z.avail_in)) {
                z.avail_in = 0;
                continue;
            }
            if (z.avail_in == 1 && rest[0] == 0x1f) {
                // The magic split across two reads: keep the byte and read on.
                in[0] = 0x1f;
                const size_t more = std::fread(in.data() + 1, 1, in.size() - 1, file);
                after += static_cast<long long>(have) - 1;
                have = more + 1;
                z.next_in = in.data();
                z.avail_in = static_cast<uInt>(have);
            }
            if (!GzipMagic(z.next_in, z.avail_in)) {
                const long long offset = after + static_cast<long long>(z.next_in - in.data());
                error = "after its gzip-compressed data, from byte " + std::to_string(offset) +
                        " on, it holds data that are not compressed (plain text added to a .gz file?)";
                ok = false;
                break;
            }
            inflateReset(&z);
            inMember = true;
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int code = inflate(&z, Z_NO_FLUSH);
        const size_t made = out.size() - z.avail_out;
        if (made > 0) sink(out.data(), made);
        if (code == Z_STREAM_END) {
            inMember = false;
        } else if (code != Z_OK && !(code == Z_BUF_ERROR && z.avail_in == 0)) {
            error = std::string("the compressed data are damaged (") + (z.msg ? z.msg : "zlib error") + ")";
            ok = false;
        }
    }
    inflateEnd(&z);
    return ok;
}

bool ReadWholeFile(FILE* file, std::string& text, std::string& error) {
    text.clear();
    return ReadFileChunks(file, [&text](const char* piece, size_t n) { text.append(piece, n); }, error);
}

void FileReadFailed(const char* what, const std::string& name, const std::string& error) {
    std::cout << "Error: Cannot read " << what << " file named " << name << ": " << error << "\nSystem aborted. \n";
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
