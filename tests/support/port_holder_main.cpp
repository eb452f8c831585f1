// port-holder [--flock] DEVICE: another program on the panel's device, as tests need one. Opens
// the device file that DEVICE leads to as serial programs do: with a lock file and exclusive
// access as QSerialPort does, or (--flock) with flock(2) alone and no lock file, as some terminal
// programs do. Prints "HELD <pid> <device file>" (or "FAILED <reason>") and holds it until SIGTERM
// or SIGINT, or until the process that started it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSerialPort>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    const bool flockOnly = argc == 3 && std::string(argv[1]) == "--flock";
    if (argc != 2 && !flockOnly) {
        std::fprintf(stderr, "usage: port-holder [--flock] DEVICE\n");
        return 2;
    }
    const char* named = argv[argc - 1];
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(named, error);
    const std::string device = error ? std::string(named) : file.string();
    QSerialPort port;
    int fd = -1;
    if (flockOnly) {
        fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
            std::printf("FAILED %s\n", std::strerror(errno));
            return 1;
        }
    } else {
        port.setPortName(QString::fromStdString(device));
        if (!port.open(QIODevice::ReadWrite)) {
            std::printf("FAILED %s\n", qPrintable(port.errorString()));
            return 1;
        }
    }
    std::printf("HELD %d %s\n", static_cast<int>(getpid()), device.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    if (fd >= 0) close(fd);
    port.close();
    return 0;
}
