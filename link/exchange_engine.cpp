#include "link/exchange_engine.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "link/reply_decoder.h"
#include "link/traffic_log.h"
#include "link/wire.h"
#include "platform/serial/serial_port.h"
#include "platform/system/timer.h"

namespace zelt {

namespace {
// The whole reply of a projector that did not understand the command.
constexpr char kNotUnderstoodReply[] = {kNotUnderstood, kCarriageReturn, '\0'};

// The jobs whose durations judge whether a background job fits before a rhythm's next job.
constexpr std::size_t kRecentJobs = 8;

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QueryResult cancelled(std::string command) {
    return QueryResult{std::move(command), {}, renderTranscript("").text, {}, QueryOutcome::Cancelled};
}
}  // namespace

std::string_view queryOutcomeName(QueryOutcome outcome) {
    switch (outcome) {
    case QueryOutcome::Answered: return "answered";
    case QueryOutcome::NotUnderstood: return "not understood";
    case QueryOutcome::NoReply: return "no reply";
    case QueryOutcome::NotSent: return "not sent";
    case QueryOutcome::Cancelled: return "cancelled";
    }
    return "?";
}

ExchangeEngine::ExchangeEngine(SerialPort& port, Timer& timer, TrafficLog* log, Clock clock)
    : port_(port), timer_(timer), log_(log), clock_(clock ? std::move(clock) : Clock(steadyMs)) {
    clients_[kOwnClient];
    timer_.onTick = [this] { onTick(); };
    timer_.setEnabled(false);
}

ExchangeEngine::~ExchangeEngine() {
    *alive_ = false;
    timer_.onTick = nullptr;
    timer_.setEnabled(false);
}

ExchangeEngine::ClientId ExchangeEngine::addClient(Priority priority) {
    const ClientId id = nextClient_++;
    clients_[id].priority = priority;
    return id;
}

void ExchangeEngine::removeClient(ClientId client) {
    for (auto* turns : {&interactiveTurns_, &normalTurns_})
        turns->erase(std::remove(turns->begin(), turns->end(), client), turns->end());
    if (client == kOwnClient) {
        clients_[kOwnClient].jobs.clear();
    } else {
        clients_.erase(client);
    }
}

void ExchangeEngine::submit(ClientId client, Job job) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) return;  // a client that has gone asks nothing any more
    job.timeoutMs = std::max(job.timeoutMs, 1);
    Client& c = it->second;
    if (c.priority == Priority::Interactive) noteInteractive(client);
    if (c.jobs.empty()) (c.priority == Priority::Interactive ? interactiveTurns_ : normalTurns_).push_back(client);
    c.jobs.push_back(std::move(job));
    pump();
}

void ExchangeEngine::submit(std::string command, int timeoutMs, Completion done) {
    submit(kOwnClient, Job{std::move(command), timeoutMs, [done = std::move(done)](const QueryResult& result) {
                               if (done) done(result);
                               return std::optional<std::string>();
                           }});
}

std::size_t ExchangeEngine::pending() const {
    std::size_t n = current_ ? 1 : 0;
    for (const auto& [id, client] : clients_) n += client.jobs.size();
    return n;
}

void ExchangeEngine::noteInteractive(ClientId client) {
    const std::int64_t now = clock_();
    const std::int64_t gap = now - rhythm_.last;
    const bool steady = client == rhythm_.client && gap >= kRhythmMinMs && gap <= kRhythmMaxMs;
    rhythm_ = Rhythm{client, now, steady ? gap : 0};
}

bool ExchangeEngine::holdBackForRhythm() {
    if (rhythm_.period == 0) return false;
    const std::int64_t now = clock_();
    const std::int64_t due = rhythm_.last + rhythm_.period;
    const std::int64_t givenUp = due + rhythm_.period / 2;  // the arrow has been let go
    if (now >= givenUp) {
        rhythm_.period = 0;
        return false;
    }
    // A line whose jobs take longer than half the rhythm still gets background work in between.
    std::int64_t longest = 0;
    for (const std::int64_t ms : recentJobMs_) longest = std::max(longest, ms);
    longest = std::min(longest, rhythm_.period / 2);
    if (now < due && now + longest + kRhythmMarginMs <= due) return false;
    // The arrow's next job starts the line again when it comes; the timer, when it does not.
    timer_.setEnabled(false);
    timer_.setInterval(static_cast<int>(givenUp - now));
    timer_.setEnabled(true);
    return true;
}

void ExchangeEngine::noteJobDone() {
    recentJobMs_.push_back(clock_() - jobStart_);
    if (recentJobMs_.size() > kRecentJobs) recentJobMs_.pop_front();
}

std::optional<Job> ExchangeEngine::nextJob() {
    for (auto* turns : {&interactiveTurns_, &normalTurns_}) {
        if (turns == &normalTurns_ && !turns->empty() && holdBackForRhythm()) return std::nullopt;
        while (!turns->empty()) {
            const ClientId id = turns->front();
            turns->pop_front();
            const auto it = clients_.find(id);
            if (it == clients_.end() || it->second.jobs.empty()) continue;
            Job job = std::move(it->second.jobs.front());
            it->second.jobs.pop_front();
            if (!it->second.jobs.empty()) turns->push_back(id);  // its next job waits for its next turn
            return job;
        }
    }
    return std::nullopt;
}

void ExchangeEngine::pump() {
    // Jobs that submit or cancel from their completions run inside this loop; the outermost call
    // does the starting.
    if (pumping_) return;
    pumping_ = true;
    const auto alive = alive_;
    while (state_ == State::Idle && !current_) {
        std::optional<Job> job = nextJob();
        if (!job) break;
        current_ = std::move(job);
        timeoutMs_ = current_->timeoutMs;
        jobStart_ = clock_();
        startStep(current_->command);
        if (!*alive) return;
    }
    pumping_ = false;
}

void ExchangeEngine::startStep(std::string command) {
    state_ = State::Writing;
    rendering_ = Transcript{" "};
    result_ = QueryResult{std::move(command), {}, rendering_.text, {}, QueryOutcome::NotSent};
    const std::uint64_t number = ++exchangeNumber_;
    // Whatever waits now came before this command went out: it is nobody's reply.
    const std::string stale = port_.readAll();
    if (log_ && !stale.empty()) log_->received(stale);

    const auto alive = alive_;
    const bool written = port_.write(result_.command);
    if (!*alive || exchangeNumber_ != number) return;  // completed or cancelled during the write
    if (!written) {
        if (log_) log_->sendFailed(result_.command);
        finishStep(QueryOutcome::NotSent);
        return;
    }
    if (log_) log_->sent(result_.command);
    if (!port_.isOpen()) {  // the device went away as the bytes left
        finishStep(QueryOutcome::NoReply);
        return;
    }
    state_ = State::Collecting;
    timer_.setEnabled(false);
    timer_.setInterval(timeoutMs_);
    timer_.setEnabled(true);
}

void ExchangeEngine::onComm() {
    const int event = port_.commEvent();
    if (event == SerialPort::kEventDeviceGone) {
        // During the write, the write itself tells how it went.
        if (state_ == State::Collecting) finishStep(QueryOutcome::NoReply);
        return;
    }
    if (event != SerialPort::kEventReceive) return;
    const std::string piece = port_.readAll();
    if (piece.empty()) return;
    if (log_) log_->received(piece);
    if (state_ == State::Writing || state_ == State::Collecting) take(piece);
}

void ExchangeEngine::take(std::string_view piece) {
    const std::size_t before = result_.reply.size();
    const std::size_t room = kMaxReplyBytes - std::min(before, kMaxReplyBytes);
    result_.reply.append(piece.substr(0, room));
    const std::optional<std::size_t> complete = completeReplyLength(result_.reply);
    if (complete) result_.reply.resize(*complete);  // what follows the reply belongs to nobody
    appendTranscript(rendering_, std::string_view(result_.reply).substr(before));
    result_.rendering = rendering_.text;
    // As the panel's status line: each receipt decodes the reply so far, and a phrase stays
    // until another replaces it.
    if (auto phrase = decodeReply(result_.command, result_.reply, result_.rendering)) result_.phrase = *phrase;
    if (complete)
        finishStep(result_.reply == kNotUnderstoodReply ? QueryOutcome::NotUnderstood : QueryOutcome::Answered);
}

void ExchangeEngine::onTick() {
    timer_.setEnabled(false);
    if (state_ == State::Collecting) {
        finishStep(QueryOutcome::NoReply);
    } else if (state_ == State::Quiet) {
        state_ = State::Idle;
        if (current_ && resume_) {
            std::string command = std::move(*resume_);
            resume_.reset();
            startStep(std::move(command));
        }
        pump();
    } else if (state_ == State::Idle) {
        pump();  // background work held back for a rhythm that has ended
    }
}

void ExchangeEngine::finishStep(QueryOutcome outcome) {
    timer_.setEnabled(false);
    ++exchangeNumber_;
    QueryResult result = std::move(result_);
    result.outcome = outcome;
    switch (outcome) {
    case QueryOutcome::Answered: ++counts_.answered; break;
    case QueryOutcome::NotUnderstood: ++counts_.notUnderstood; break;
    case QueryOutcome::NoReply: ++counts_.noReply; break;
    case QueryOutcome::NotSent: ++counts_.notSent; break;
    case QueryOutcome::Cancelled: break;
    }
    if (outcome == QueryOutcome::NoReply && port_.isOpen()) {
        state_ = State::Quiet;
        timer_.setInterval(kQuietAfterNoReplyMs);
        timer_.setEnabled(true);
    } else {
        state_ = State::Idle;
    }

    // The job is told with nothing else started meanwhile: what it submits waits for the loop.
    Job job = std::move(*current_);
    current_.reset();
    const bool outerPumping = pumping_;
    pumping_ = true;
    const std::uint64_t number = exchangeNumber_;
    const auto alive = alive_;
    std::optional<std::string> next = job.step ? job.step(result) : std::nullopt;
    if (!*alive) return;
    pumping_ = outerPumping;
    if (!next || exchangeNumber_ != number || outcome == QueryOutcome::Cancelled) noteJobDone();
    if (next && exchangeNumber_ != number) {
        // Everything was cancelled while it was told: so is the rest of this job.
        if (job.step) job.step(cancelled(std::move(*next)));
        if (!*alive) return;
    } else if (next && outcome != QueryOutcome::Cancelled) {
        current_ = std::move(job);
        if (state_ == State::Quiet) {
            resume_ = std::move(next);
        } else {
            startStep(std::move(*next));
            if (!*alive) return;
        }
    }
    pump();
}

void ExchangeEngine::cancelAll() {
    std::vector<std::pair<Job, QueryResult>> toTell;
    if (current_) {
        QueryResult result;
        if (resume_) {
            result = cancelled(std::move(*resume_));
        } else {
            result = std::move(result_);
            result.outcome = QueryOutcome::Cancelled;
        }
        toTell.emplace_back(std::move(*current_), std::move(result));
        current_.reset();
        resume_.reset();
    }
    for (auto* turns : {&interactiveTurns_, &normalTurns_}) {
        for (const ClientId id : *turns) {
            for (Job& job : clients_[id].jobs) {
                QueryResult result = cancelled(job.command);
                toTell.emplace_back(std::move(job), std::move(result));
            }
            clients_[id].jobs.clear();
        }
        turns->clear();
    }
    timer_.setEnabled(false);
    state_ = State::Idle;
    ++exchangeNumber_;

    // Jobs submitted by these completions wait until every cancelled one has been told.
    const bool outerPumping = pumping_;
    pumping_ = true;
    const auto alive = alive_;
    for (auto& [job, result] : toTell) {
        if (job.step) job.step(result);
        if (!*alive) return;
    }
    pumping_ = outerPumping;
    pump();
}

}  // namespace zelt
