// Reading input files whole: plain text as stored, gzip members one after
// another wherever they fall in the reads, and data after the compressed
// part refused instead of dropped.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>

#include "core/FileInput.h"
#include "output_fixture.h"

namespace {

using outtest::Gzipped;

// The whole of `bytes` read through a FILE, as the loaders read a file.
bool ReadBytes(const std::string& bytes, std::string& text, std::string& error) {
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    const bool ok = ReadWholeFile(f, text, error);
    std::fclose(f);
    return ok;
}

std::string Letters(size_t n) {
    std::string s(n, 'A');
    for (size_t i = 0; i < n; ++i) s[i] = "ACGT\n"[(i * 7 + i / 13) % 5];
    return s;
}

TEST(FileInput, PlainAndGzipMembersComeBackAsWritten) {
    const std::string a = Letters(1000), b = Letters(70000);
    std::string text, error;
    ASSERT_TRUE(ReadBytes(a + b, text, error)) << error;
    EXPECT_EQ(text, a + b);
    ASSERT_TRUE(ReadBytes(Gzipped(a, 6) + Gzipped(b, 6), text, error)) << error;
    EXPECT_EQ(text, a + b);
    // NUL bytes after the last member are padding, as gzip itself reads them.
    ASSERT_TRUE(ReadBytes(Gzipped(a, 6) + std::string(100, '\0'), text, error)) << error;
    EXPECT_EQ(text, a);
}

TEST(FileInput, AMemberStartingOnTheLastByteOfARead) {
    // A stored (level 0) member sized so that it ends one byte before the
    // end of the first 64 KiB read: the next member's magic is split.
    size_t n = 65000;
    std::string first = Gzipped(Letters(n), 0);
    n += 65535 - first.size();
    first = Gzipped(Letters(n), 0);
    ASSERT_EQ(first.size(), 65535u);
    const std::string second = Letters(500);
    std::string text, error;
    ASSERT_TRUE(ReadBytes(first + Gzipped(second, 6), text, error)) << error;
    EXPECT_EQ(text, Letters(n) + second);
    // The same place followed by plain text is refused.
    EXPECT_FALSE(ReadBytes(first + "chr1\t1\t2\n", text, error));
}

TEST(FileInput, PlainTextAfterCompressedDataIsRefusedNotDropped) {
    std::string text, error;
    const std::string gz = Gzipped(Letters(300), 6);
    EXPECT_FALSE(ReadBytes(gz + "chr1\t400\t430\n", text, error));
    EXPECT_EQ(error, "after its gzip-compressed data, from byte " + std::to_string(gz.size()) +
                         " on, it holds data that are not compressed (plain text added to a .gz file?)");
    EXPECT_FALSE(ReadBytes(gz.substr(0, gz.size() - 4), text, error));
    EXPECT_EQ(error, "the compressed data end early (the file is cut short)");
}

}  // namespace
