// The shared options' values as any command line gives them, and the line chosen from them: never
// a crash; a printable reason for every refusal; an accepted value in its range, and the line it
// chooses the one it names.
//
// Input: a first byte whose bits say which options are given (in the order of sharedOptions()),
// then their values, separated by NUL bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/shared_options.h"
#include "fuzz/fuzz_check.h"
#include "platform/line/line_address.h"
#include "platform/line/port_choice.h"
#include "testing/memory_settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned given = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    zelt::cli::SharedValues values;
    unsigned bit = 1;
    for (const zelt::cli::SharedOption& option : zelt::cli::sharedOptions()) {
        const bool isGiven = (given & bit) != 0;
        bit <<= 1;
        if (!isGiven) continue;
        const size_t end = std::min(rest.find('\0'), rest.size());
        const std::string_view text = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const zelt::cli::SharedValues before = values;
        const std::string why = option.read(text, values);
        if (!why.empty()) {
            FUZZ_CHECK(why.rfind("--", 0) == 0 || why.rfind("give ", 0) == 0);
            for (char c : why) FUZZ_CHECK(c >= ' ' && c <= '~');
            return 0;  // the program stops at its first mistake
        }
        const std::string name = option.name;
        if (name == "port") {
            FUZZ_CHECK(values.line.port && zelt::isValidPort(*values.line.port));
            FUZZ_CHECK(zelt::cli::numberIn(std::to_string(*values.line.port), 1, 15) == values.line.port);
        } else if (name == "device") {
            FUZZ_CHECK(!before.line.port && values.line.device == text);
            FUZZ_CHECK(zelt::parseLineTarget(text).kind != zelt::LineTarget::Kind::Invalid);
        } else if (name == "baud") {
            FUZZ_CHECK(values.line.settings && zelt::baudCodeOf(values.line.settings->baud));
        } else if (name == "log") {
            FUZZ_CHECK(!text.empty() && values.logPath == text);
        }
    }

    // The line these options choose, over a store with a port and a speed of its own.
    zelt::MemorySettingsStore store;
    store.put(zelt::kStartupSection, zelt::kComPortKey, "4");
    store.put(zelt::kStartupSection, zelt::kBaudRateKey, "96");
    const zelt::LineChoice choice = zelt::chooseLine(values.line, store, {});
    FUZZ_CHECK(choice.chosen());
    if (!values.line.device.empty()) {
        FUZZ_CHECK(choice.port == 0 && choice.target == values.line.device);
    } else {
        FUZZ_CHECK(choice.port == values.line.port.value_or(4) && !choice.target.empty());
    }
    FUZZ_CHECK(choice.settings == values.line.settings.value_or(zelt::LineSettings{9600}));
    return 0;
}
