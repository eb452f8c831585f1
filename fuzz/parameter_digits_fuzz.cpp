// The parameter rule over any command and digits (split at the first NUL; no NUL: no digits
// given): either bytes to send or a reason, never both; what is sent is one command closed by its
// only carriage return, without marks and without control characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "command_list/command_lists.h"
#include "command_list/parameter_digits.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view command = input.substr(0, split);
    std::optional<std::string_view> digits;
    if (split != std::string_view::npos) digits = input.substr(split + 1);

    const zelt::FilledCommand filled = zelt::fillParameterMarks(command, digits);
    FUZZ_CHECK(filled.ok() != filled.text.empty());
    if (!filled.ok()) return 0;
    FUZZ_CHECK(filled.text.size() >= 2 && filled.text.back() == '\r');
    FUZZ_CHECK(filled.text.find('%') == std::string::npos);
    FUZZ_CHECK(filled.text.size() - 1 <= zelt::commandPart(command).size());
    for (size_t i = 0; i + 1 < filled.text.size(); ++i) {
        const auto c = static_cast<unsigned char>(filled.text[i]);
        FUZZ_CHECK(c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F));
    }
    return 0;
}
