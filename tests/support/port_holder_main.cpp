// port-holder DEVICE: another program on the panel's device, as tests need one. Opens the device
// file that DEVICE leads to as serial programs do (a lock file, exclusive access), prints
// "HELD <pid> <device file>" (or "FAILED <reason>") and holds it until SIGTERM or SIGINT, or until
// the process that started it ends.
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSerialPort>

#include <csignal>
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: port-holder DEVICE\n");
        return 2;
    }
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(argv[1], error);
    QSerialPort port;
    port.setPortName(QString::fromStdString(error ? std::string(argv[1]) : file.string()));
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("FAILED %s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::printf("HELD %d %s\n", static_cast<int>(getpid()), qPrintable(port.portName()));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    port.close();
    return 0;
}
