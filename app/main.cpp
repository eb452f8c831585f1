// The control panel: drives one projector over an RS-232C line.
#include <QApplication>

#include "link/module1.h"
#include "panel/form1.h"
#include "platform/line_port.h"
#include "platform/port_map.h"
#include "platform/qt_device_catalog.h"
#include "platform/qt_settings_store.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zelt::QtSettingsStore store;
    const zelt::EnvLookup env = zelt::systemEnvironment();
    zelt::LinePort port(store, env);
    zelt::QtDeviceCatalog devices;
    zelt::Module1 module;

    zelt::Form1 form1(
        {module, port, store, [&port](int n) { return port.targetFor(n); }, {}, {}, {}, {}, &devices, env});
    form1.Form_Load();
    // Start-up may already have shown the window (the dialog's OK or Cancel does).
    if (!form1.isVisible()) form1.show();
    return app.exec();
}
