// The control panel: drives one projector over an RS-232C line.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/version.h"
#include "cli/options.h"
#include "link/module1.h"
#include "link/traffic_log_file.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "platform/line/port_map.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/settings/qt_settings_store.h"

namespace {

void printTo(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName("zelt-panel");
    QCoreApplication::setApplicationVersion(zelt::kVersion);

    // The command line is read before the application object exists, so --help and --version
    // work where there is no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    zelt::cli::Options options("zelt-panel",
                               "The ZELT QX480 control panel: drives one data projector over an RS-232C line.\n"
                               "The port and speed are chosen with COM and kept in ~/.config/ZELT.conf.",
                               {zelt::cli::Shared::Log});
    const zelt::cli::Reading reading = options.read(arguments);
    if (reading.kind != zelt::cli::Reading::Kind::Run) return zelt::cli::finish(options.program(), reading);

    QApplication app(argc, argv);
    zelt::TrafficLogFile trafficLog;
    if (!options.logPath().empty()) {
        if (!trafficLog.open(options.logPath())) {
            const QString why = QString::fromStdString(trafficLog.openFailure());
            printTo(stderr, "zelt-panel: " + why + "\n");
            // Started from a menu, nobody reads standard error: say it on the screen too.
            const QString platform = QGuiApplication::platformName();
            if (platform != "offscreen" && platform != "minimal") QMessageBox::warning(nullptr, "Error", why);
            return 1;
        }
        trafficLog.setWriteFailureHandler([](const std::string& message) {
            printTo(stderr, QString::fromStdString("zelt-panel: " + message + "\n"));
        });
    }

    zelt::QtSettingsStore store;
    const zelt::EnvLookup env = zelt::systemEnvironment();
    zelt::LinePort port(store, env);
    zelt::QtDeviceCatalog devices;
    zelt::Module1 module;

    zelt::Form1 form1({module,
                       port,
                       store,
                       [&port](int n) { return port.targetFor(n); },
                       {},
                       {},
                       {},
                       {},
                       &devices,
                       env,
                       trafficLog.isOpen() ? &trafficLog : nullptr});
    form1.Form_Load();
    // Start-up may already have shown the window (the dialog's OK or Cancel does).
    if (!form1.isVisible()) form1.show();
    return app.exec();
}
