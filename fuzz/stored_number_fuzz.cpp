// The reading rule over any stored text: never a crash; results in their ranges.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/line/stored_number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double n = zelt::readLeadingNumber(text);
    FUZZ_CHECK(!std::isnan(n));
    FUZZ_CHECK(std::isinf(n) || n == std::nearbyint(n));
    const auto port = zelt::readPortNumber(text);
    if (port) FUZZ_CHECK(static_cast<double>(*port) == n);
    const uint8_t code = zelt::readBaudCode(text);
    FUZZ_CHECK(code == 96 || code == 192);
    FUZZ_CHECK((code == 96) == (n == 96.0));
    // Blanks before the number do not change it.
    FUZZ_CHECK(zelt::readLeadingNumber("  " + text) == n);
    return 0;
}
