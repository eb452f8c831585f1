#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>
#include <vector>

namespace zelt {

// Turns signals into a Qt signal on the event loop: the handler only writes the signal's number
// to a pipe, and the work is done by whoever connects to caught(). One watch per process.
class SignalWatch final : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(std::initializer_list<int> numbers, QObject* parent = nullptr);
    // Gives the signals back their default action.
    ~SignalWatch() override;
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

signals:
    void caught(int signal);

private:
    void readPipe();

    std::vector<int> numbers_;
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zelt
