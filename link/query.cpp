#include "link/query.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "link/exchange.h"
#include "link/reply_decoder.h"
#include "link/traffic_log.h"
#include "link/wire.h"
#include "platform/serial/serial_port.h"
#include "platform/system/timer.h"

namespace zelt {

namespace {
// The whole reply of a projector that did not understand the command.
constexpr char kNotUnderstoodReply[] = {kNotUnderstood, kCarriageReturn, '\0'};
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

std::optional<std::size_t> completeReplyLength(std::string_view received) {
    if (!received.empty() && received.front() == kAck) return 1;
    const std::size_t end = received.find(kCarriageReturn);
    if (end == std::string_view::npos) return std::nullopt;
    return end + 1;
}

QueryQueue::QueryQueue(SerialPort& port, Timer& timer, TrafficLog* log) : port_(port), timer_(timer), log_(log) {
    port_.onComm = [this] { onComm(); };
    timer_.onTick = [this] { onTick(); };
    timer_.setEnabled(false);
}

QueryQueue::~QueryQueue() {
    *alive_ = false;
    port_.onComm = nullptr;
    timer_.onTick = nullptr;
    timer_.setEnabled(false);
}

void QueryQueue::submit(std::string command, int timeoutMs, Completion done) {
    waiting_.push_back({std::move(command), std::max(timeoutMs, 1), std::move(done)});
    pump();
}

void QueryQueue::pump() {
    // Completions that submit or cancel run inside this loop; the outermost call does the starting.
    if (pumping_) return;
    pumping_ = true;
    const auto alive = alive_;
    while (state_ == State::Idle && !waiting_.empty()) {
        current_ = std::move(waiting_.front());
        waiting_.pop_front();
        start();
        if (!*alive) return;
    }
    pumping_ = false;
}

void QueryQueue::start() {
    state_ = State::Writing;
    rendering_ = Transcript{" "};
    result_ = QueryResult{current_->command, {}, rendering_.text, {}, QueryOutcome::NotSent};
    const std::uint64_t number = ++exchangeNumber_;
    // Whatever waits now came before this command went out: it is nobody's reply.
    const std::string stale = port_.readAll();
    if (log_ && !stale.empty()) log_->received(stale);

    const auto alive = alive_;
    const bool written = port_.write(current_->command);
    if (!*alive || exchangeNumber_ != number) return;  // completed or cancelled during the write
    if (!written) {
        if (log_) log_->sendFailed(current_->command);
        finish(QueryOutcome::NotSent);
        return;
    }
    if (log_) log_->sent(current_->command);
    if (!port_.isOpen()) {  // the device went away as the bytes left
        finish(QueryOutcome::NoReply);
        return;
    }
    state_ = State::Collecting;
    timer_.setEnabled(false);
    timer_.setInterval(current_->timeoutMs);
    timer_.setEnabled(true);
}

void QueryQueue::onComm() {
    const int event = port_.commEvent();
    if (event == SerialPort::kEventDeviceGone) {
        const auto alive = alive_;
        // During the write, the write itself tells how it went.
        if (state_ == State::Collecting) finish(QueryOutcome::NoReply);
        if (*alive && onDeviceGone) onDeviceGone();
        return;
    }
    if (event != SerialPort::kEventReceive) return;
    const std::string piece = port_.readAll();
    if (piece.empty()) return;
    if (log_) log_->received(piece);
    if (state_ == State::Writing || state_ == State::Collecting) take(piece);
}

void QueryQueue::take(std::string_view piece) {
    // A device that keeps sending without a carriage return is kept to the panel's bound.
    const std::size_t before = result_.reply.size();
    const std::size_t room = Exchange::kReceiveBufferLimit - std::min(before, Exchange::kReceiveBufferLimit);
    result_.reply.append(piece.substr(0, room));
    const std::optional<std::size_t> complete = completeReplyLength(result_.reply);
    if (complete) result_.reply.resize(*complete);  // what follows the reply belongs to nobody
    appendTranscript(rendering_, std::string_view(result_.reply).substr(before));
    result_.rendering = rendering_.text;
    // As the panel's status line: each receipt decodes the reply so far, and a phrase stays
    // until another replaces it.
    if (auto phrase = decodeReply(result_.command, result_.reply, result_.rendering)) result_.phrase = *phrase;
    if (complete) finish(result_.reply == kNotUnderstoodReply ? QueryOutcome::NotUnderstood : QueryOutcome::Answered);
}

void QueryQueue::onTick() {
    timer_.setEnabled(false);
    if (state_ == State::Collecting) {
        finish(QueryOutcome::NoReply);
    } else if (state_ == State::Quiet) {
        state_ = State::Idle;
        pump();
    }
}

void QueryQueue::finish(QueryOutcome outcome) {
    timer_.setEnabled(false);
    Request request = std::move(*current_);
    current_.reset();
    ++exchangeNumber_;
    QueryResult result = std::move(result_);
    result.outcome = outcome;
    if (outcome == QueryOutcome::NoReply && port_.isOpen()) {
        state_ = State::Quiet;
        timer_.setInterval(kQuietAfterNoReplyMs);
        timer_.setEnabled(true);
    } else {
        state_ = State::Idle;
    }
    const auto alive = alive_;
    if (request.done) request.done(result);
    if (!*alive) return;
    pump();
}

void QueryQueue::cancelAll() {
    std::vector<std::pair<Completion, QueryResult>> toTell;
    if (current_) {
        QueryResult result = std::move(result_);
        result.outcome = QueryOutcome::Cancelled;
        toTell.emplace_back(std::move(current_->done), std::move(result));
        current_.reset();
    }
    for (Request& request : waiting_) {
        QueryResult result{std::move(request.command), {}, renderTranscript("").text, {}, QueryOutcome::Cancelled};
        toTell.emplace_back(std::move(request.done), std::move(result));
    }
    waiting_.clear();
    timer_.setEnabled(false);
    state_ = State::Idle;
    ++exchangeNumber_;

    // Commands submitted by these completions wait until every cancelled one has been told.
    const bool outerPumping = pumping_;
    pumping_ = true;
    const auto alive = alive_;
    for (auto& [done, result] : toTell) {
        if (done) done(result);
        if (!*alive) return;
    }
    pumping_ = outerPumping;
    pump();
}

}  // namespace zelt
