#include "service/poller.h"

#include <algorithm>

#include "link/status_queries.h"
#include "link/wire.h"
#include "platform/system/timer.h"

namespace zelt::service {

namespace {

enum class Cadence { EveryPoll, Slow };

struct PollQuery {
    std::string_view query;
    Cadence cadence;
};

// clang-format off
constexpr PollQuery kQueries[] = {
    {kStatusQuery,      Cadence::EveryPoll},
    {kInputModeQuery,   Cadence::EveryPoll},
    {kLampTimeQuery,    Cadence::Slow},
    {kLampStatusQuery,  Cadence::Slow},
    {kTempQuery,        Cadence::Slow},
    {kTempWarningQuery, Cadence::Slow},
    {kVideoMuteQuery,   Cadence::Slow},
    {kAudioMuteQuery,   Cadence::Slow},
    {kFreezeQuery,      Cadence::Slow},
    {kVolumeQuery,      Cadence::Slow},
};
// clang-format on

bool inTransition(const ProjectorState& s) {
    return s.power == PowerState::WarmingUp || s.power == PowerState::CoolingDown;
}

constexpr char kSilent[] = "the projector does not answer";

}  // namespace

Poller::Poller(ExchangeEngine& engine, Timer& timer, int pollSeconds, int replyTimeoutMs)
    : engine_(engine),
      timer_(timer),
      client_(engine.addClient()),
      pollMs_(pollSeconds * 1000),
      replyTimeoutMs_(replyTimeoutMs) {
    timer_.setEnabled(false);
    timer_.onTick = [this] {
        timer_.setEnabled(false);
        startRound();
    };
    state_.lineProblem = "the line is not open yet";
}

Poller::~Poller() {
    *alive_ = false;
    timer_.onTick = nullptr;
    timer_.setEnabled(false);
    engine_.removeClient(client_);
}

std::vector<std::string_view> Poller::roundQueries(bool all) const {
    std::vector<std::string_view> queries;
    for (const PollQuery& q : kQueries) {
        if (all || q.cadence == Cadence::EveryPoll) queries.push_back(q.query);
    }
    return queries;
}

void Poller::change(const ProjectorState& before) {
    if (state_ != before && onChange) onChange(before);
}

void Poller::lineOpened() {
    open_ = true;
    silent_ = 0;
    const ProjectorState before = state_;
    if (pollMs_ == 0) {
        // Nobody asks: open is as up as it gets.
        state_.lineUp = true;
        state_.lineProblem.clear();
    }
    change(before);
    wantAll_ = true;
    if (pollMs_ > 0 && !asking_) arm(0);
}

void Poller::lineClosed(const std::string& why) {
    open_ = false;
    timer_.setEnabled(false);
    const ProjectorState before = state_;
    state_.lineUp = false;
    state_.lineProblem = why;
    change(before);
}

void Poller::pollSoon() {
    wantAll_ = true;
    if (pollMs_ > 0 && open_ && !asking_) arm(kSoonMs);
}

void Poller::arm(int ms) {
    timer_.setEnabled(false);
    timer_.setInterval(std::max(ms, 0));
    timer_.setEnabled(true);
}

void Poller::startRound() {
    if (!open_ || asking_) return;
    ++polls_;
    const bool silent = silent_ >= kSilentForDown;
    const bool all = !silent && (wantAll_ || polls_ % kSlowEvery == 1);
    if (silent || (inTransition(state_) && !all)) {
        round_ = {kStatusQuery};
    } else {
        round_ = roundQueries(all);
        wantAll_ = false;
    }
    next_ = 0;
    askNext();
}

void Poller::askNext() {
    if (next_ == round_.size()) return endRound();
    const std::string_view query = round_[next_++];
    asking_ = true;
    const auto alive = alive_;
    engine_.submit(client_, Job{std::string(query) + kCarriageReturn, replyTimeoutMs_,
                                [this, alive, query](const QueryResult& result) {
                                    if (*alive) taken(query, result);
                                    return std::optional<std::string>();
                                }});
}

void Poller::taken(std::string_view query, const QueryResult& result) {
    asking_ = false;
    const ProjectorState before = state_;
    switch (result.outcome) {
    case QueryOutcome::Answered:
    case QueryOutcome::NotUnderstood: {
        silent_ = 0;
        state_.lineUp = true;
        state_.lineProblem.clear();
        std::string_view reply = result.reply;
        if (!reply.empty() && reply.back() == kCarriageReturn) reply.remove_suffix(1);
        readPollReply(state_, query, reply);
        break;
    }
    case QueryOutcome::NoReply:
        if (++silent_ >= kSilentForDown && open_) {
            state_.lineUp = false;
            state_.lineProblem = kSilent;
            round_.resize(next_);  // the rest of this round would only wait out its timeouts
        }
        break;
    case QueryOutcome::NotSent:
    case QueryOutcome::Cancelled:
        // The line has closed: lineClosed() says why; nothing more this round.
        round_.resize(next_);
        break;
    }
    change(before);
    askNext();
}

void Poller::endRound() {
    if (!open_) return;
    if (wantAll_) return arm(kSoonMs);
    if (silent_ >= kSilentForDown) return arm(std::min(pollMs_, kSilentRetryMs));
    arm(inTransition(state_) ? std::min(pollMs_, kTransitionMs) : pollMs_);
}

}  // namespace zelt::service
