#include "service/http/http_metrics.h"

#include <cstdio>
#include <functional>

namespace zelt::service::http {

namespace {

// A label value with its backslashes, quotes and line feeds escaped.
std::string labelValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

int levelValue(FaultLevel level) {
    switch (level) {
    case FaultLevel::None: return 0;
    case FaultLevel::Warning: return 1;
    case FaultLevel::Error: return 2;
    }
    return 0;
}

class Writer {
public:
    // A metric family: its help and type, then the series each projector adds through `series`.
    void family(std::string_view name, std::string_view type, std::string_view help,
                std::span<const MetricsSource> projectors,
                const std::function<void(const MetricsSource&,
                                         const std::function<void(std::string_view labels, double value)>&)>& each) {
        std::string lines;
        for (const MetricsSource& p : projectors) {
            each(p, [&](std::string_view labels, double value) {
                lines.append(name).append("{projector=\"").append(labelValue(p.name)).append("\"");
                if (!labels.empty()) lines.append(",").append(labels);
                lines.append("} ").append(number(value)).append("\n");
            });
        }
        text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
        text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
        text_ += lines;
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

}  // namespace

std::string metricsText(std::span<const MetricsSource> projectors) {
    using Series = std::function<void(std::string_view labels, double value)>;
    Writer w;
    w.family("zelt_line_up", "gauge", "Whether the projector's line is open and the projector answers (1) or not (0).",
             projectors, [](const MetricsSource& p, const Series& add) { add("", p.state->lineUp ? 1 : 0); });
    w.family("zelt_power_state", "gauge",
             "The projector's power state: 1 for the state it is in, 0 for the others (unknown before an answer).",
             projectors, [](const MetricsSource& p, const Series& add) {
                 const std::optional<PowerState> states[] = {PowerState::On, PowerState::Standby, PowerState::WarmingUp,
                                                             PowerState::CoolingDown, std::nullopt};
                 for (const std::optional<PowerState>& state : states)
                     add("state=\"" + std::string(powerWord(state)) + "\"", state == p.state->power ? 1 : 0);
             });
    // Prometheus counts time in seconds: the projector's whole hours, times 3600.
    w.family("zelt_lamp_seconds", "gauge",
             "Time the lamp has been on, as the projector counts it in whole hours, in seconds.", projectors,
             [](const MetricsSource& p, const Series& add) {
                 if (p.state->lampHours) add("", *p.state->lampHours * 3600.0);
             });
    w.family("zelt_fault", "gauge", "The projector's faults by part: 0 none, 1 warning, 2 error.", projectors,
             [](const MetricsSource& p, const Series& add) {
                 const Faults& f = p.state->faults;
                 const std::pair<const char*, FaultLevel> parts[] = {
                     {"fan", f.fan},     {"lamp", f.lamp},     {"temperature", f.temperature},
                     {"cover", f.cover}, {"filter", f.filter}, {"other", f.other}};
                 for (const auto& [part, level] : parts) add("part=\"" + std::string(part) + "\"", levelValue(level));
             });
    w.family("zelt_lamp_failed", "gauge", "Whether the projector reports its lamp as failed (1) or not (0).",
             projectors, [](const MetricsSource& p, const Series& add) {
                 if (p.state->lamp) add("", *p.state->lamp == LampState::Failed ? 1 : 0);
             });
    w.family("zelt_temperature_celsius", "gauge", "The projector's temperatures by sensor, in degrees Celsius.",
             projectors, [](const MetricsSource& p, const Series& add) {
                 if (!p.state->temperatures) return;
                 for (std::size_t i = 0; i < p.state->temperatures->size(); ++i)
                     add("sensor=\"" + std::to_string(i + 1) + "\"", (*p.state->temperatures)[i]);
             });
    w.family("zelt_exchanges_total", "counter",
             "Exchanges (a command and its reply) on the projector's line since the service started.", projectors,
             [](const MetricsSource& p, const Series& add) {
                 const ExchangeEngine::Counts& c = p.counts;
                 add("", static_cast<double>(c.answered + c.notUnderstood + c.noReply + c.notSent));
             });
    w.family("zelt_exchange_failures_total", "counter",
             "Exchanges that failed, by why: the projector did not understand, did not reply, or the command could not "
             "be sent.",
             projectors, [](const MetricsSource& p, const Series& add) {
                 add("reason=\"not_understood\"", static_cast<double>(p.counts.notUnderstood));
                 add("reason=\"no_reply\"", static_cast<double>(p.counts.noReply));
                 add("reason=\"not_sent\"", static_cast<double>(p.counts.notSent));
             });
    return w.take();
}

}  // namespace zelt::service::http
