#include "core/Robust.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Console.h"

namespace {

std::atomic<FatalHandler> g_fatalHandler{nullptr};

// Temporary output files that exist right now. The lock is held while one is
// created, renamed or removed, and by the watcher from a signal to the end.
std::mutex g_tempLock;
std::vector<std::string> g_tempFiles;

void RemoveTempFilesLocked() {
    for (const std::string& name : g_tempFiles) unlink(name.c_str());
    g_tempFiles.clear();
}

void Unregister(const std::string& name) {
    g_tempFiles.erase(std::remove(g_tempFiles.begin(), g_tempFiles.end(), name), g_tempFiles.end());
}

// The watcher: a thread that waits for the signals while every other thread
// keeps them blocked. Never destroyed while running (an exit from elsewhere
// simply ends it with the process).
std::thread* g_watcher = nullptr;
std::atomic<bool> g_stopping{false};
sigset_t g_watched;
sigset_t g_previousMask;

const char* SignalName(int sig) {
    switch (sig) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

void Watch() {
    int sig = 0;
    for (;;) {
        if (sigwait(&g_watched, &sig) != 0) continue;
        if (g_stopping.load()) return;
        break;
    }
    g_tempLock.lock();  // kept: no output file is created or renamed from here on
    std::fflush(stdout);
    RemoveTempFilesLocked();
    // A judged run keeps standard output for its answer: the interruption is a problem, said on standard error.
    FILE* to = LogQuiet() ? stderr : stdout;
    std::fprintf(to, "\nInterrupted by %s: the run is stopped and no unfinished file is kept. System aborted. \n",
                 SignalName(sig));
    std::fflush(to);
    _exit(128 + sig);
}

std::string TempPattern(const std::string& target) {
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // A hidden name beside the target, short enough for any file system.
    return folder + "." + base.substr(0, 100) + ".part-XXXXXX";
}

}  // namespace

// ---------------------------------------------------------------- fatal exit

FatalHandler SetFatalHandler(FatalHandler handler) { return g_fatalHandler.exchange(handler); }

void FatalExit(int status) {
    LogEnding();
    if (FatalHandler handler = g_fatalHandler.load()) handler(status);
    {
        std::lock_guard<std::mutex> lock(g_tempLock);
        RemoveTempFilesLocked();
    }
    std::exit(status);
}

// ---------------------------------------------------------------- interruption

void CatchInterruptions() {
    if (g_watcher != nullptr) return;
    sigemptyset(&g_watched);
    sigaddset(&g_watched, SIGINT);
    sigaddset(&g_watched, SIGTERM);
    sigaddset(&g_watched, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &g_watched, &g_previousMask) != 0) return;
    g_stopping = false;
    g_watcher = new std::thread(Watch);
}

void StopCatchingInterruptions() {
    if (g_watcher == nullptr) return;
    g_stopping = true;
    pthread_kill(g_watcher->native_handle(), SIGTERM);
    g_watcher->join();
    delete g_watcher;
    g_watcher = nullptr;
    pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
}

// ---------------------------------------------------------------- whole files

WholeFile::~WholeFile() { Discard(); }

namespace {

// The file a name stands for: a symbolic link is followed, so that the file
// it points to is written (and replaced) rather than the link.
std::string Followed(const std::string& name) {
    struct stat st;
    if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = realpath(name.c_str(), nullptr);
        if (real != nullptr) {
            std::string target = real;
            std::free(real);
            return target;
        }
    }
    return name;
}

}  // namespace

bool CanWrite(const std::string& name) {
    if (name.empty() || name.back() == '/') return false;
    const std::string target = Followed(name);
    struct stat st;
    if (stat(target.c_str(), &st) == 0) return !S_ISDIR(st.st_mode) && access(target.c_str(), W_OK) == 0;
    std::string pattern = TempPattern(target);
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    const int fd = mkstemp(path.data());
    if (fd < 0) return false;
    close(fd);
    unlink(path.data());
    return true;
}

bool WholeFile::Open(const std::string& name) {
    Discard();
    if (name.empty() || name.back() == '/') return false;
    target_ = Followed(name);
    struct stat st;

    bool exists = stat(target_.c_str(), &st) == 0;
    bool direct = false;
    mode_t mode = 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return false;
        if (access(target_.c_str(), W_OK) != 0) return false;
        direct = !S_ISREG(st.st_mode);  // a terminal, /dev/null, a pipe: nothing to replace
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    if (!direct) {
        std::string pattern = TempPattern(target_);
        std::vector<char> path(pattern.begin(), pattern.end());
        path.push_back('\0');
        int fd;
        int error = 0;
        {
            std::lock_guard<std::mutex> lock(g_tempLock);
            fd = mkstemp(path.data());
            error = errno;
            if (fd >= 0) g_tempFiles.push_back(path.data());
        }
        if (fd >= 0) {
            temp_ = path.data();
            fchmod(fd, mode);
            close(fd);
        } else if (!exists || (error != EACCES && error != EROFS && error != EPERM)) {
            return false;  // no folder, or nowhere to put the file
        }
        // else: the folder takes no new file but the file itself is writable:
        // it can only be written in place.
    }

    out_.open(temp_.empty() ? target_ : temp_, std::ios::out | std::ios::trunc);
    if (!out_) {
        Discard();
        return false;
    }
    open_ = true;
    return true;
}

bool WholeFile::Commit() {
    if (!open_) return false;
    open_ = false;
    out_.flush();
    bool ok = out_.good();
    out_.close();
    ok = ok && !out_.fail();
    if (temp_.empty()) return ok;
    if (ok) {
        int fd = open(temp_.c_str(), O_RDONLY);
        if (fd >= 0) {
            if (fsync(fd) != 0) ok = false;
            close(fd);
        }
    }
    std::lock_guard<std::mutex> lock(g_tempLock);
    if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) ok = false;
    if (!ok) unlink(temp_.c_str());
    Unregister(temp_);
    temp_.clear();
    return ok;
}

void WholeFile::Discard() {
    if (out_.is_open()) out_.close();
    open_ = false;
    if (!temp_.empty()) {
        std::lock_guard<std::mutex> lock(g_tempLock);
        unlink(temp_.c_str());
        Unregister(temp_);
        temp_.clear();
    }
}
