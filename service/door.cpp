#include "service/door.h"

#include <algorithm>

namespace zelt::service {
namespace {

// ::ffff:127.0.0.5, as a dual-stack listener sees an IPv4 client, is that client: 127.0.0.5.
std::string normalAddress(const std::string& address) {
    constexpr std::string_view kMapped = "::ffff:";
    if (address.size() <= kMapped.size() || address.find('.') == std::string::npos) return address;
    for (std::size_t i = 0; i < kMapped.size(); ++i)
        if ((address[i] | 0x20) != kMapped[i]) return address;
    return address.substr(kMapped.size());
}

std::string durationText(std::chrono::milliseconds delay) {
    const auto ms = delay.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// Failures are counted this far at most; the delay stopped growing long before.
constexpr int kMostFailuresCounted = 1000000;

}  // namespace

Door::Door(DoorLimits limits) : limits_(limits) {}

bool Door::admit(const std::string& address) {
    const std::string a = normalAddress(address);
    const List::iterator it = entry(a);
    Entry& e = *it;
    if (e.connections >= limits_.connectionsPerAddress) {
        if (!e.refusalTold) {
            tell("refused a connection from " + a + ": " + std::to_string(e.connections) +
                 " connections from there are open already (further refusals are not logged until one is admitted)");
            e.refusalTold = true;
        }
        settle(it);
        return false;
    }
    if (e.connections++ == 0) open_.splice(open_.end(), quiet_, it);
    e.refusalTold = false;
    return true;
}

void Door::left(const std::string& address) {
    const auto found = index_.find(normalAddress(address));
    if (found == index_.end() || found->second->connections == 0) return;
    const List::iterator it = found->second;
    if (--it->connections == 0) {
        quiet_.splice(quiet_.end(), open_, it);
        settle(it);
    }
}

Door::TimePoint Door::judgeAt(const std::string& address, TimePoint now) const {
    const Entry* e = find(normalAddress(address));
    if (e == nullptr) return now;
    const int failures = failuresAt(*e, now);
    if (failures < limits_.freeFailures) return now;
    return std::max(now, e->lastFailure + delayAfter(failures));
}

void Door::failed(const std::string& address, TimePoint now) {
    const std::string a = normalAddress(address);
    const List::iterator it = entry(a);
    Entry& e = *it;
    e.failures = std::min(failuresAt(e, now) + 1, kMostFailuresCounted);
    e.lastFailure = now;
    if (e.connections == 0) quiet_.splice(quiet_.end(), quiet_, it);
    const bool slowed = e.failures >= limits_.freeFailures;
    tell("wrong password from " + a + " (" + std::to_string(e.failures) + " in a row): its next attempt " +
         (slowed ? "waits " + durationText(delayAfter(e.failures)) : std::string("is judged at once")));
}

void Door::succeeded(const std::string& address) {
    const auto found = index_.find(normalAddress(address));
    if (found == index_.end()) return;
    found->second->failures = 0;
    settle(found->second);
}

Door::List::iterator Door::entry(const std::string& address) {
    if (const auto found = index_.find(address); found != index_.end()) return found->second;
    if (index_.size() >= limits_.trackedAddresses && !quiet_.empty()) {
        index_.erase(quiet_.front().address);
        quiet_.pop_front();
    }
    Entry fresh;
    fresh.address = address;
    quiet_.push_back(std::move(fresh));
    return index_.emplace(address, std::prev(quiet_.end())).first->second;
}

const Door::Entry* Door::find(const std::string& address) const {
    const auto found = index_.find(address);
    return found == index_.end() ? nullptr : &*found->second;
}

int Door::failuresAt(const Entry& e, TimePoint now) const {
    return e.failures > 0 && now - e.lastFailure >= limits_.forgetAfter ? 0 : e.failures;
}

std::chrono::milliseconds Door::delayAfter(int failures) const {
    if (failures < limits_.freeFailures) return std::chrono::milliseconds(0);
    std::chrono::milliseconds delay = limits_.firstDelay;
    for (int n = limits_.freeFailures; n < failures && delay < limits_.maxDelay; ++n) delay *= 2;
    return std::min(delay, limits_.maxDelay);
}

void Door::settle(List::iterator it) {
    if (it->connections > 0 || it->failures > 0) return;
    index_.erase(it->address);
    quiet_.erase(it);
}

void Door::tell(const std::string& text) const {
    if (onEvent) onEvent(text);
}

}  // namespace zelt::service
