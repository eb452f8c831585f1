// Reading another program's lock file: never a crash; a PID only where the text holds one, in the
// range Linux hands out, and the same PID again from the file written the usual way.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/serial/open_failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<long> pid = zelt::lockFilePid(text);
    if (!pid) return 0;
    FUZZ_CHECK(*pid > 0 && *pid < 4194304);
    char uucp[16];
    std::snprintf(uucp, sizeof uucp, "%10ld\n", *pid);
    FUZZ_CHECK(zelt::lockFilePid(uucp) == pid);
    return 0;
}
