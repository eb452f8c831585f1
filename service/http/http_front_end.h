#pragma once

#include <functional>
#include <memory>
#include <string>

#include "service/service.h"

namespace zelt::service::http {

// The service's HTTP front end ([http]): the web page, the REST API under /api/v1, the live
// updates as Server-Sent Events, and /metrics for Prometheus. See docs/web-and-api.md.
std::unique_ptr<FrontEnd> makeHttpFrontEnd(Service& service, const ServiceConfig& config,
                                           const std::function<void(const std::string&)>& log, std::string& error);
bool httpChanged(const ServiceConfig& before, const ServiceConfig& after);

}  // namespace zelt::service::http
