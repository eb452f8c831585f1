#include "platform/system/signal_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace zelt {

namespace {

// The write end, for the handler; -1 while no watch exists.
volatile sig_atomic_t gWriteEnd = -1;

void onSignal(int number) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (gWriteEnd >= 0) {
        const ssize_t written = ::write(gWriteEnd, &byte, 1);
        (void)written;  // a full pipe already holds a signal to act on
    }
    errno = savedErrno;
}

}  // namespace

SignalWatch::SignalWatch(std::initializer_list<int> numbers, QObject* parent) : QObject(parent), numbers_(numbers) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // no watch: signals keep their default action
    gWriteEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatch::readPipe);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : numbers_) sigaction(number, &action, nullptr);
}

SignalWatch::~SignalWatch() {
    if (notifier_) {
        for (int number : numbers_) ::signal(number, SIG_DFL);
    }
    gWriteEnd = -1;
    notifier_.reset();
    for (int fd : pipe_) {
        if (fd >= 0) ::close(fd);
    }
}

void SignalWatch::readPipe() {
    unsigned char byte = 0;
    while (::read(pipe_[0], &byte, 1) == 1) emit caught(byte);
}

}  // namespace zelt
