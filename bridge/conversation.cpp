#include "bridge/conversation.h"

#include <algorithm>

#include "link/wire.h"

namespace zelt::pjlink {
namespace {

std::optional<std::string> textProblem(std::string_view what, std::string_view text, std::size_t limit) {
    if (text.size() > limit) {
        return std::string(what) + " is " + std::to_string(text.size()) + " bytes long; PJLink allows at most " +
               std::to_string(limit);
    }
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; };
    if (std::any_of(text.begin(), text.end(), control)) {
        return std::string(what) + " holds a control character (a line break or tab, for instance)";
    }
    return std::nullopt;
}

// Leading zeros dropped: "01234" -> "1234", "00000" -> "0".
std::string_view withoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? digits.substr(digits.empty() ? 0 : digits.size() - 1)
                                           : digits.substr(first);
}

// Each digit of `into` raised to the one in the same place of `digits` where that is higher.
bool merge(std::string& into, std::string_view digits) {
    if (digits.size() != into.size()) return false;
    for (std::size_t i = 0; i < into.size(); ++i) into[i] = std::max(into[i], digits[i]);
    return true;
}

}  // namespace

std::optional<std::string> deviceInfoProblem(const DeviceInfo& info) {
    if (auto p = textProblem("The name", info.name, kMaxNameBytes)) return p;
    if (auto p = textProblem("The manufacturer name", info.manufacturer, kMaxInfoBytes)) return p;
    if (auto p = textProblem("The product name", info.model, kMaxInfoBytes)) return p;
    return textProblem("The other information", info.info, kMaxInfoBytes);
}

Conversation::Conversation(const Request& request, const DeviceInfo& info) : body_(request.body) {
    if (std::find(kClass1Bodies.begin(), kClass1Bodies.end(), request.body) == kClass1Bodies.end()) {
        fail(Error::Undefined);
        return;
    }
    route_ = findRoute(request.body, request.parameter);
    if (route_ == nullptr) {
        fail(Error::OutOfParameter);
        return;
    }
    switch (route_->source) {
    case ResultSource::Route: result_ = route_->result; break;
    case ResultSource::Name: result_ = info.name; break;
    case ResultSource::Manufacturer: result_ = info.manufacturer; break;
    case ResultSource::Model: result_ = info.model; break;
    case ResultSource::Info: result_ = info.info; break;
    }
    startStep();
}

std::string_view Conversation::command() const { return finished_ ? std::string_view{} : route_->steps[step_].command; }

void Conversation::reply(std::string_view framed) {
    if (finished_) return;
    // Its rules read a reply line without the CR that ends it.
    if (!framed.empty() && framed.back() == kCarriageReturn) framed.remove_suffix(1);
    take(framed);
}

void Conversation::noReply() {
    if (!finished_) fail(Error::ProjectorFailure);
}

void Conversation::startStep() {
    if (step_ == route_->steps.size()) finish(result_);
}

void Conversation::take(std::string_view reply) {
    const Step& step = route_->steps[step_];
    const std::optional<std::string> read = readReply(step.reading, reply);
    if (!read) return fail(Error::ProjectorFailure);
    if (step.reading == Reading::Ack) {
        ++step_;
        return startStep();
    }
    const auto rule = std::find_if(step.rules.begin(), step.rules.end(),
                                   [&](const ReplyRule& r) { return matchesPattern(r.reply, *read); });
    if (rule == step.rules.end()) return fail(Error::ProjectorFailure);
    switch (rule->action) {
    case ReplyAction::Next: break;
    case ReplyAction::AppendText: result_ += rule->text; break;
    case ReplyAction::AppendReply: result_ += *read; break;
    case ReplyAction::AppendNumber: result_ += withoutLeadingZeros(*read); break;
    case ReplyAction::MergeText:
        if (!merge(result_, rule->text)) return fail(Error::ProjectorFailure);
        break;
    case ReplyAction::MergeReply:
        if (!merge(result_, *read)) return fail(Error::ProjectorFailure);
        break;
    case ReplyAction::Finish: return finish(rule->text);
    case ReplyAction::Fail: return fail(rule->error);
    }
    ++step_;
    startStep();
}

void Conversation::finish(std::string_view result) {
    if (!route_->finish.empty()) {
        const auto row = std::find_if(route_->finish.begin(), route_->finish.end(),
                                      [&](const ResultRow& r) { return r.built == result; });
        if (row == route_->finish.end()) return fail(Error::ProjectorFailure);
        result = row->result;
    }
    response_ = formatResponse(body_, result);
    finished_ = true;
}

void Conversation::fail(Error error) {
    response_ = formatError(body_, error);
    finished_ = true;
}

}  // namespace zelt::pjlink
