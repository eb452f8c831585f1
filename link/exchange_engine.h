#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/exchange.h"
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

// What one command's exchange came to.
struct QueryResult {
    std::string command;    // the command text as sent, carriage return included
    std::string reply;      // the complete reply (framed at its CR or ACK), or what came in time
    std::string rendering;  // the reply's transcript rendering, as the panel's reply line shows it
    std::string phrase;     // the decoded status phrase, as the panel's status line; empty when none
    QueryOutcome outcome = QueryOutcome::NotSent;
};

// One piece of work on the line: a command, or several in turn, each chosen from the reply to
// the one before (a PJLink "POWR 1" reads "CR0", then sends "C00" only in standby). The commands
// of a job go out back to back: no other job's command comes between them.
struct Job {
    std::string command;  // the first command, with its carriage return
    int timeoutMs = kStartupTimer2;
    // Told each command's result; returns the next command, or std::nullopt when the job is done.
    // A cancelled job is told once, and what it returns is not sent.
    std::function<std::optional<std::string>(const QueryResult& result)> step;
};

// The one exchange engine of a line: every command to the projector from a program without a
// window goes through it, one exchange at a time, whoever asks (zelt-ctl, the service's pollers
// and front ends). Each exchange writes a command and collects its reply up to the end the line
// defines (completeReplyLength in link/wire.h); its rendering and phrase are those the panel
// would show for the same bytes.
//
// Jobs come from clients. A client's jobs run in the order it submitted them; between clients the
// engine takes turns, one job each, so a busy client cannot hold the others back. Interactive
// clients (an operator at a panel) go ahead of the others: a held arrow keeps its rhythm while
// background work shares the line. Going first is not enough for that on a slow line, where the
// arrow's command would still wait for the exchange under way: while an interactive client's jobs
// come at a steady rhythm, a background job starts only when it is likely to be done before the
// next of them is due (judged by the longest of the line's recent jobs), and waits otherwise.
//
// Bytes that arrive while no exchange runs belong to nobody and are dropped, as is whatever waits
// in the port before each write. After an exchange that got no complete reply the line is left
// quiet for kQuietAfterNoReplyMs before the next write, so a late reply does not land in the next
// result.
//
// The engine takes the timer's tick for its lifetime; the port's receive events are handed to it
// by its owner through onComm(). Everything runs on the thread of the port's events.
class ExchangeEngine {
public:
    using ClientId = std::uint64_t;
    using Completion = std::function<void(const QueryResult& result)>;
    enum class Priority { Normal, Interactive };

    // The wait for a reply when none is given: the panel's end-of-exchange time.
    static constexpr int kDefaultTimeoutMs = kStartupTimer2;
    // The pause after an exchange without a complete reply, in which arriving bytes are dropped.
    static constexpr int kQuietAfterNoReplyMs = 100;
    // A reply that never ends is kept to the panel's receive bound.
    static constexpr std::size_t kMaxReplyBytes = Exchange::kReceiveBufferLimit;
    // The client of a program that is the line's only user.
    static constexpr ClientId kOwnClient = 0;
    // Interactive jobs of one client that come this far apart are a rhythm (a held arrow).
    static constexpr int kRhythmMinMs = 30;
    static constexpr int kRhythmMaxMs = 300;
    // What a background job leaves free ahead of the rhythm's next job.
    static constexpr int kRhythmMarginMs = 2;

    // Milliseconds on a monotonic clock.
    using Clock = std::function<std::int64_t()>;

    // `log`, when given, is told every send, failed send and receipt; it must outlive the engine.
    // `clock` defaults to the system's steady clock.
    ExchangeEngine(SerialPort& port, Timer& timer, TrafficLog* log = nullptr, Clock clock = {});
    // Pending completions are dropped without being called; the timer's tick is let go.
    ~ExchangeEngine();
    ExchangeEngine(const ExchangeEngine&) = delete;
    ExchangeEngine& operator=(const ExchangeEngine&) = delete;

    // A new client, with its place in the turns.
    ClientId addClient(Priority priority = Priority::Normal);
    // The client has gone: its waiting jobs are dropped without a word. A job of it that is under
    // way runs to its end (the projector never gets half a job) and is still told its results.
    void removeClient(ClientId client);

    // Queues `job` for `client` (kOwnClient needs no addClient). When the line is idle its first
    // command is written at once, and a write that fails is told before submit returns.
    void submit(ClientId client, Job job);
    // A job of one command for kOwnClient; `done` is told its result (timeout at least 1 ms).
    void submit(std::string command, int timeoutMs, Completion done);
    void submit(std::string command, Completion done) {
        submit(std::move(command), kDefaultTimeoutMs, std::move(done));
    }

    // Ends the running job and every waiting one as Cancelled, in order (the running one keeps
    // the bytes it had). Jobs that those completions submit run afterwards.
    void cancelAll();

    // Jobs submitted and not yet done, the running one included.
    std::size_t pending() const;

    // Exchanges completed since the engine began, by how they ended (for the service's figures).
    struct Counts {
        std::uint64_t answered = 0;
        std::uint64_t notUnderstood = 0;
        std::uint64_t noReply = 0;
        std::uint64_t notSent = 0;
    };
    const Counts& counts() const { return counts_; }

    // The port's event, handed on by the line's owner: data received, or the device gone (the
    // running exchange then ends as NoReply).
    void onComm();

private:
    struct Client {
        Priority priority = Priority::Normal;
        std::deque<Job> jobs;
    };
    enum class State { Idle, Writing, Collecting, Quiet };

    // A held arrow's rhythm: its client, when its last job came, and the time between its jobs (0
    // while there is no rhythm).
    struct Rhythm {
        ClientId client = kOwnClient;
        std::int64_t last = 0;
        std::int64_t period = 0;
    };

    void pump();
    std::optional<Job> nextJob();
    void noteInteractive(ClientId client);
    bool holdBackForRhythm();
    void noteJobDone();
    void startStep(std::string command);
    void onTick();
    void take(std::string_view piece);
    void finishStep(QueryOutcome outcome);

    SerialPort& port_;
    Timer& timer_;
    TrafficLog* log_;
    Clock clock_;
    std::map<ClientId, Client> clients_;
    // Clients with waiting jobs, in the order of their turns.
    std::deque<ClientId> interactiveTurns_;
    std::deque<ClientId> normalTurns_;
    ClientId nextClient_ = kOwnClient + 1;
    std::optional<Job> current_;         // the job under way
    std::optional<std::string> resume_;  // its next command, held back while the line is quiet
    int timeoutMs_ = kDefaultTimeoutMs;  // of the running job's commands
    QueryResult result_;
    Counts counts_;
    Transcript rendering_{" "};
    State state_ = State::Idle;
    std::uint64_t exchangeNumber_ = 0;  // tells a completed exchange from the next one
    bool pumping_ = false;
    Rhythm rhythm_;
    std::int64_t jobStart_ = 0;
    std::deque<std::int64_t> recentJobMs_;  // how long the line's last jobs took
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zelt
