// Reading a pseudo-terminal master's descriptor info from /proc: never a crash; a number only
// where a "tty-index:" line holds one, and the same number again from the line written alone.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/serial/port_holders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<int> index = zelt::fdInfoTtyIndex(text);
    if (!index) return 0;
    FUZZ_CHECK(*index >= 0);
    FUZZ_CHECK(text.find("tty-index:") != std::string::npos);
    FUZZ_CHECK(zelt::fdInfoTtyIndex("tty-index:\t" + std::to_string(*index) + "\n") == index);
    return 0;
}
