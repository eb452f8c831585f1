#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/timing.h"
#include "link/transcript.h"

namespace zelt {

class SerialPort;
class Timer;
class TrafficLog;

enum class QueryOutcome {
    Answered,       // a complete reply: up to its first carriage return, or a lone ACK
    NotUnderstood,  // the reply was "?" and a carriage return
    NoReply,        // nothing, or no complete reply, within the timeout; or the device went away
    NotSent,        // the write failed: the port is closed or the device refused the bytes
    Cancelled,      // ended by cancelAll() before it completed
};

// "answered", "not understood", "no reply", "not sent", "cancelled".
std::string_view queryOutcomeName(QueryOutcome outcome);

struct QueryResult {
    std::string command;    // the command text as submitted, carriage return included
    std::string reply;      // the bytes received for it: the whole reply, or what came in time
    std::string rendering;  // the reply's transcript rendering, as the panel's reply line shows it
    std::string phrase;     // the decoded status phrase, as the panel's status line; empty when none
    QueryOutcome outcome = QueryOutcome::NotSent;
};

// How much of `received` is a complete reply: up to and including the first carriage return, or
// the first byte alone when it is an ACK (an accepted set command carries no carriage return).
// std::nullopt while the reply is not complete.
std::optional<std::size_t> completeReplyLength(std::string_view received);

// One serial exchange at a time for programs without a window: commands are sent in the order
// they are submitted, each after the previous one has completed, and each completes once with the
// reply collected for it. The reply's rendering and phrase are those the panel would show for the
// same bytes, its command taken as CommandText.
//
// Bytes that arrive while no exchange runs belong to nobody and are dropped, as is whatever waits
// in the port before each write. After an exchange that got no complete reply the line is left
// quiet for kQuietAfterNoReplyMs before the next write, so a late reply does not land in the next
// result.
//
// The queue takes the port's receive event (onComm) and the timer's tick for its lifetime; one
// timer serves every exchange. Everything runs on the thread of the port's events.
class QueryQueue {
public:
    using Completion = std::function<void(const QueryResult& result)>;

    // The wait for a reply when none is given: the panel's end-of-exchange time.
    static constexpr int kDefaultTimeoutMs = kStartupTimer2;
    // The pause after an exchange without a complete reply, in which arriving bytes are dropped.
    static constexpr int kQuietAfterNoReplyMs = 100;

    // `log`, when given, is told every send, failed send and receipt; it must outlive the queue.
    QueryQueue(SerialPort& port, Timer& timer, TrafficLog* log = nullptr);
    // Pending completions are dropped without being called; the port's event and the timer's tick
    // are let go.
    ~QueryQueue();
    QueryQueue(const QueryQueue&) = delete;
    QueryQueue& operator=(const QueryQueue&) = delete;

    // Queues `command` (a command text with its carriage return). `done` is called once, with the
    // result, when the exchange completes: a reply, the timeout (at least 1 ms), a failed write,
    // the device going away, or cancelAll(). When the queue is idle the command is written at
    // once, and a write that fails completes it before submit returns.
    void submit(std::string command, int timeoutMs, Completion done);
    void submit(std::string command, Completion done) {
        submit(std::move(command), kDefaultTimeoutMs, std::move(done));
    }

    // Completes the running exchange and every waiting one as Cancelled, in order (the running
    // one keeps the bytes it had). Commands that those completions submit run afterwards.
    void cancelAll();

    // Commands submitted and not yet completed, the running one included.
    std::size_t pending() const { return waiting_.size() + (current_ ? 1 : 0); }

    // Called after the port has closed itself because its device went away (the running exchange,
    // if any, has then already completed as NoReply).
    std::function<void()> onDeviceGone;

private:
    struct Request {
        std::string command;
        int timeoutMs = kDefaultTimeoutMs;
        Completion done;
    };
    enum class State { Idle, Writing, Collecting, Quiet };

    void pump();
    void start();
    void onComm();
    void onTick();
    void take(std::string_view piece);
    void finish(QueryOutcome outcome);

    SerialPort& port_;
    Timer& timer_;
    TrafficLog* log_;
    std::deque<Request> waiting_;
    std::optional<Request> current_;
    QueryResult result_;
    Transcript rendering_{" "};
    State state_ = State::Idle;
    std::uint64_t exchangeNumber_ = 0;  // tells a completed exchange from the next one
    bool pumping_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zelt
