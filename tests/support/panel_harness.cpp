#include "tests/support/panel_harness.h"

#include "panel/form1.h"

namespace zelt::test {

std::unique_ptr<Form1> makeForm1(PanelServices s) {
    return std::make_unique<Form1>(Form1::Services{
        .module = s.module,
        .port = s.port,
        .store = s.store,
        .deviceFor = std::move(s.deviceFor),
        .makeTimer = std::move(s.makeTimer),
        .retryMessage = std::move(s.retryMessage),
        .endSystem = std::move(s.endSystem),
        .beep = std::move(s.beep),
        .devices = s.devices,
        .env = std::move(s.env),
        .trafficLog = s.trafficLog,
    });
}

}  // namespace zelt::test
