// A libFuzzer target around one function of harness.h, chosen at build time
// (QIRO_FUZZ_INPUT). Fatal conditions of the program, which end a run with
// its message and status, here unwind back to the fuzzer instead: the input
// was answered, and the next one can follow in the same process.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "core/Robust.h"
#include "harness.h"

namespace {

struct FatalEnd {
    int status;
};

[[noreturn]] void Unwind(int status) { throw FatalEnd{status}; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetFatalHandler(Unwind);
    // The program's messages would drown the fuzzer's own report.
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        dup2(devnull, STDOUT_FILENO);
        close(devnull);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        fuzzharness::QIRO_FUZZ_INPUT(data, size);
    } catch (const FatalEnd&) {
    }
    return 0;
}
