// Decoding any reply to any of the decoded queries (and a few others): never a crash, and a
// phrase, when there is one, begins with a blank and holds only visible ASCII.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "link/reply_decoder.h"
#include "link/transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kCommands[] = {"CR0\r", "CR1\r", "CR4\r", "CR3\r", "CR6\r",        "CR LAMPSTS\r",
                                            "CR7\r", "C00\r", "",      "CR0",   "CR LAMPMODE\r"};
    if (size == 0) return 0;
    const std::string command = kCommands[data[0] % (sizeof kCommands / sizeof *kCommands)];
    const std::string received(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string line = zelt::renderTranscript(received).text;
    const auto phrase = zelt::decodeReply(command, received, line);
    if (phrase) {
        FUZZ_CHECK(!phrase->empty() && (*phrase)[0] == ' ');
        for (char c : *phrase) FUZZ_CHECK(c >= ' ' && c <= 'z');
    }
    // The decoder must also survive a reply line that is not the rendering of the reply.
    (void)zelt::decodeReply(command, received, received);
    (void)zelt::decodeReply(command, line, "");
    return 0;
}
