// The control panel: drives one projector over an RS-232C line.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>

#include "app/help_text.h"
#include "app/version.h"
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
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The ZELT QX480 control panel: drives one data projector over an RS-232C line.\n"
        "The port and speed are chosen with COM and kept in ~/.config/ZELT.conf.");
    // Our own --help and --version: Qt's add --help-all, with options of Qt's that do not apply here.
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    const QCommandLineOption version({"v", "version"}, "Shows the release number.");
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption log(
        "log", "Append one line per send and per receipt to FILE (rotated once to FILE.1 at 1 MiB).", "FILE");
    parser.addOption(log);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString why = parser.errorText().isEmpty()
                                ? "unexpected argument \"" + parser.positionalArguments().first() + "\""
                                : parser.errorText();
        printTo(stderr, "zelt-panel: " + why + "\nTry 'zelt-panel --help'.\n");
        return 1;
    }
    if (parser.isSet(help)) {
        printTo(stdout, QString::fromStdString(zelt::helpTextOf(parser, "zelt-panel")));
        return 0;
    }
    if (parser.isSet(version)) {
        printTo(stdout, QString("zelt-panel %1\n").arg(zelt::kVersion));
        return 0;
    }

    QApplication app(argc, argv);
    zelt::TrafficLogFile trafficLog;
    if (parser.isSet(log)) {
        if (!trafficLog.open(parser.value(log).toStdString())) {
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
