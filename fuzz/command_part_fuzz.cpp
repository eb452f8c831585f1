// The command part of any text: a prefix without "[", the whole text when there is none.
#include <cstddef>
#include <cstdint>
#include <string>

#include "command_list/command_lists.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string_view part = zelt::commandPart(text);
    FUZZ_CHECK(text.compare(0, part.size(), part) == 0);
    FUZZ_CHECK(part.find('[') == std::string_view::npos);
    const size_t bracket = text.find('[');
    FUZZ_CHECK(part.size() == (bracket == std::string::npos ? text.size() : bracket));
    return 0;
}
