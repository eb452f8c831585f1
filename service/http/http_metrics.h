#pragma once

#include <span>
#include <string>
#include <string_view>

#include "link/exchange_engine.h"
#include "service/projector_state.h"

namespace zelt::service::http {

// What /metrics tells of one projector.
struct MetricsSource {
    std::string_view name;
    const ProjectorState* state = nullptr;
    ExchangeEngine::Counts counts;
};

// Every projector's figures in the Prometheus text format (version 0.0.4), each series labelled
// projector="NAME": the line, the power state, lamp time, faults, temperatures, and the exchanges
// on the line with their failures. A figure not known yet is left out.
std::string metricsText(std::span<const MetricsSource> projectors);

// The text's content type.
inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace zelt::service::http
