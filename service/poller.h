#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/exchange_engine.h"
#include "service/projector_state.h"

namespace zelt {
class Timer;
}

namespace zelt::service {

// Keeps a projector's state current by asking it, through its line's engine, as one client among
// the others (so a panel or a PJLink client is never held up by more than one query):
//   - every poll: the operating status and the input;
//   - every kSlowEvery-th poll, and after pollSoon(): the rest (lamp time and state, temperatures
//     and their warning, mutes, freeze, volume);
//   - while the projector warms up or cools down: its status every kTransitionMs, so the end of it
//     shows within a second.
// A projector that leaves kSilentForDown queries in a row unanswered is down ("does not answer")
// until it answers again; meanwhile only its status is asked, each poll.
class Poller {
public:
    static constexpr int kSlowEvery = 6;
    static constexpr int kTransitionMs = 1000;
    static constexpr int kSoonMs = 200;
    static constexpr int kSilentForDown = 3;
    // The longest pause between two looks at a projector that does not answer.
    static constexpr int kSilentRetryMs = 5000;

    // `pollSeconds` 0: the state follows the line alone, nothing is asked.
    Poller(ExchangeEngine& engine, Timer& timer, int pollSeconds, int replyTimeoutMs);
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    // The line has opened (the first round starts at once) or closed (`why`, for people).
    void lineOpened();
    void lineClosed(const std::string& why);
    // A command went out that may change what the state says: a whole round soon.
    void pollSoon();

    const ProjectorState& state() const { return state_; }
    // After each change, with the state before it.
    std::function<void(const ProjectorState& before)> onChange;

    // The queries of one round, for the figures and the tests.
    std::vector<std::string_view> roundQueries(bool all) const;

private:
    void startRound();
    void askNext();
    void taken(std::string_view query, const QueryResult& result);
    void endRound();
    void arm(int ms);
    void change(const ProjectorState& before);

    ExchangeEngine& engine_;
    Timer& timer_;
    ExchangeEngine::ClientId client_;
    int pollMs_;
    int replyTimeoutMs_;
    bool open_ = false;
    bool asking_ = false;  // a query of this poller waits in the engine
    bool wantAll_ = true;  // the next round asks everything
    int polls_ = 0;
    int silent_ = 0;  // queries in a row without a reply
    std::vector<std::string_view> round_;
    std::size_t next_ = 0;
    ProjectorState state_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zelt::service
