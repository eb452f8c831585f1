#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>

namespace zelt::service {

// How much a network front end bears from one source address.
struct DoorLimits {
    int connectionsPerAddress = 4;                         // open at once from one address; the next is refused
    int freeFailures = 3;                                  // wrong passwords judged at once before slowing starts
    std::chrono::milliseconds firstDelay{1000};            // then doubled for each further failure ...
    std::chrono::milliseconds maxDelay{60000};             // ... up to a minute
    std::chrono::milliseconds requestLineDeadline{5000};   // from a request line's first byte to its end
    std::chrono::milliseconds authenticateDeadline{5000};  // from connecting to authenticated
    std::chrono::minutes forgetAfter{15};                  // failures are forgotten after this quiet time
    std::size_t trackedAddresses = 4096;                   // addresses remembered at most (see Door)
};

// The one policy of every network front end of the service (PJLink, HTTP) towards its clients:
// connections per source address, and wrong passwords slowed per source address, so that a
// guesser is held back while the owner at another address is not. Plain bookkeeping with the time
// passed in: no I/O and no timers. The front end asks, acts and arms its own timers; the two
// deadlines are in limits().
//
// Addresses are compared as text; an IPv4-mapped IPv6 address (::ffff:127.0.0.5) counts as its
// IPv4 address. An address is remembered while it has connections open or failures not yet
// forgotten. At most limits().trackedAddresses are remembered: past that, the addresses that went
// quiet (no connection open) longest ago are dropped first, their failures with them. Addresses
// with connections open are never dropped; the front end's own limit on connections bounds them.
class Door {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    explicit Door(DoorLimits limits = {});

    // A connection from `address`: true when admitted (counted until left()), false when that
    // address already has its connections open. A refusal is told through onEvent, once until the
    // address is admitted again.
    bool admit(const std::string& address);
    void left(const std::string& address);

    // When an authentication attempt from `address` may be judged: `now`, or later while its
    // failures hold it back. Hold the attempt until then, and ask again when that time comes:
    // another connection's failure may have moved it further.
    TimePoint judgeAt(const std::string& address, TimePoint now) const;
    // A wrong password from `address` at `now`; told through onEvent with the delay now in force.
    void failed(const std::string& address, TimePoint now);
    // A right password: that address's failures are forgotten.
    void succeeded(const std::string& address);

    const DoorLimits& limits() const { return limits_; }
    // Addresses remembered now.
    std::size_t tracked() const { return index_.size(); }

    // Events for the service's log, one line each, naming the address.
    std::function<void(const std::string&)> onEvent;

private:
    struct Entry {
        std::string address;
        int connections = 0;
        int failures = 0;  // in a row, not yet forgotten
        TimePoint lastFailure{};
        bool refusalTold = false;
    };
    using List = std::list<Entry>;

    // The entry of an address, made when missing (dropping the longest quiet one when full).
    List::iterator entry(const std::string& address);
    const Entry* find(const std::string& address) const;
    // Failures that still count at `now`.
    int failuresAt(const Entry& e, TimePoint now) const;
    std::chrono::milliseconds delayAfter(int failures) const;
    // An entry with nothing left to remember is dropped.
    void settle(List::iterator it);
    void tell(const std::string& text) const;

    DoorLimits limits_;
    List open_;   // addresses with connections open
    List quiet_;  // the others (they have failures), the longest quiet first
    std::unordered_map<std::string, List::iterator> index_;
};

}  // namespace zelt::service
