// Helpers for command-line tests: a fresh work folder per test, files written
// into it, and the built binaries run there with their output captured.
#ifndef QIRO_TESTS_CLI_UTIL_H
#define QIRO_TESTS_CLI_UTIL_H

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace clitest {

struct Result {
    int status = -1;  // exit status of the program
    std::string out;  // standard output
    std::string err;  // standard error
    std::string command;
};

class WorkDir {
public:
    WorkDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qiro-test-XXXXXX").string();
        char* made = mkdtemp(tmpl.data());
        if (made == nullptr) std::abort();
        path_ = made;
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    void write(const std::string& name, const std::string& content) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

    // Runs `binary args` inside the folder; args are passed to the shell as written.
    Result run(const std::string& binary, const std::string& args, const std::string& stdinText = "") const {
        Result r;
        write(".stdin", stdinText);
        r.command = "cd '" + path_.string() + "' && '" + binary + "' " + args + " < .stdin > .stdout 2> .stderr";
        int raw = std::system(r.command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = read(".stdout");
        r.err = read(".stderr");
        return r;
    }
    Result qiro(const std::string& args, const std::string& stdinText = "") const {
        return run(QIRO_BIN, args, stdinText);
    }
    Result qiroFreq(const std::string& args, const std::string& stdinText = "") const {
        return run(QIRO_FREQ_BIN, args, stdinText);
    }

private:
    std::filesystem::path path_;
};

// A complete background file with every word of one to four letters: single
// letters 0.25 and every conditional probability 0.25 (a flat background).
inline std::string FlatBackground() {
    std::string text;
    const char* L = "ACGT";
    int index = 0;
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            std::string w(len, 'A');
            for (int p = 0; p < len; ++p) w[p] = L[(code >> (2 * (len - 1 - p))) & 3];
            text += std::to_string(len == 1 ? code : index) + " " + w + " 0.25\n";
            ++index;
        }
    }
    return text;
}

}  // namespace clitest

#endif
