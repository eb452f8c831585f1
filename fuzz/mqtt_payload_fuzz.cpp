// Any MQTT payload on any command topic, and any topic under the prefix: never a crash; a payload
// that reads is one whole command for the line (the topic's own command, an input's, or a raw one
// of one-byte characters without control characters); a topic that splits is built again the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "link/inputs.h"
#include "platform/net/shared_line_protocol.h"
#include "service/mqtt/mqtt_payload.h"

namespace mqtt = zelt::service::mqtt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const mqtt::CommandTopic& topic : mqtt::commandTopics()) {
        const mqtt::ParsedCommand parsed = mqtt::parseCommand(topic.leaf, text);
        if (!parsed.ok()) {
            FUZZ_CHECK(parsed.command.empty());
            continue;
        }
        const std::string& c = parsed.command;
        FUZZ_CHECK(c.size() >= 2 && c.back() == '\r' && c.find('\r') == c.size() - 1);
        switch (topic.kind) {
        case mqtt::PayloadKind::Word:
            FUZZ_CHECK(std::any_of(topic.words.begin(), topic.words.end(),
                                   [&](const mqtt::CommandWord& w) { return std::string(w.command) + "\r" == c; }));
            break;
        case mqtt::PayloadKind::Input: {
            const auto inputs = zelt::projectorInputs();
            FUZZ_CHECK(std::any_of(inputs.begin(), inputs.end(),
                                   [&](const zelt::ProjectorInput& i) { return i.command == c; }));
            break;
        }
        case mqtt::PayloadKind::Raw:
            FUZZ_CHECK(parsed.raw && c.size() <= zelt::shared_line::kMaxCommandBytes);
            FUZZ_CHECK(std::none_of(c.begin(), c.end() - 1, [](char b) {
                const auto u = static_cast<unsigned char>(b);
                return u < 0x20 || u == 0x7F;
            }));
            break;
        }
    }

    const std::string visible = mqtt::visiblePayload(text);
    FUZZ_CHECK(std::all_of(visible.begin(), visible.end(), [](char b) { return b >= 0x20 && b <= 0x7E; }));

    if (const auto at = mqtt::splitProjectorTopic("zelt/room", text)) {
        FUZZ_CHECK(!at->name.empty() && !at->leaf.empty() && at->name.find('/') == std::string_view::npos);
        FUZZ_CHECK(mqtt::projectorTopic("zelt/room", at->name, at->leaf) == text);
    }
    return 0;
}
