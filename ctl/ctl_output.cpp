#include "ctl/ctl_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <span>
#include <string_view>
#include <vector>

#include "command_list/command_lists.h"
#include "ctl/result_json.h"

namespace zelt::ctl {

namespace {

std::string compactJson(const QJsonDocument& document) {
    return document.toJson(QJsonDocument::Compact).toStdString() + "\n";
}

}  // namespace

Report reportFor(const Request& request, const QueryResult& result, bool lineLost) {
    Report report;
    // The command as typed: without its carriage return, in UTF-8.
    std::string_view command = result.command;
    if (command.ends_with('\r')) command.remove_suffix(1);
    const std::string sent = " \"" + QString::fromLatin1(command.data(), command.size()).toStdString() + "\" ";
    switch (result.outcome) {
    case QueryOutcome::Answered: report.status = kExitAnswered; break;
    case QueryOutcome::NotUnderstood:
        report.status = kExitNotUnderstood;
        report.err = "the projector did not understand" + sent + "(it answered \"?\")";
        break;
    case QueryOutcome::NoReply:
        report.status = kExitNoReply;
        report.err = lineLost ? "the line went away while waiting for the reply to" + sent
                              : "no reply to" + sent + "within " + std::to_string(request.timeoutMs) + " ms";
        if (!result.reply.empty()) report.err += " (an incomplete reply came:" + result.rendering + ")";
        break;
    case QueryOutcome::NotSent:
    case QueryOutcome::Cancelled:
        report.status = kExitPortFailed;
        report.err = "the command" + sent + "could not be sent: the line failed";
        break;
    }
    if (request.json) {
        report.out = resultJsonText(result) + "\n";
        return report;
    }
    if (result.outcome == QueryOutcome::Answered || result.outcome == QueryOutcome::NotUnderstood) {
        const bool phrase = request.verb == Verb::Query && !result.phrase.empty();
        report.out = (phrase ? result.phrase : result.rendering) + "\n";
    }
    return report;
}

std::string listText(const std::string& listName, bool json) {
    const std::pair<std::string_view, std::span<const std::string_view>> lists[] = {
        {"basic", basicCommandList()}, {"expanded", expandedCommandList()}, {"read", readCommandList()}};
    std::vector<std::string_view> items;
    for (const auto& [name, list] : lists) {
        if (listName.empty() || listName == name) items.insert(items.end(), list.begin(), list.end());
    }
    if (json) {
        QJsonArray array;
        for (std::string_view item : items) array.append(QString::fromLatin1(item.data(), item.size()));
        return compactJson(QJsonDocument(array));
    }
    std::string text;
    for (std::string_view item : items) (text += item) += '\n';
    return text;
}

}  // namespace zelt::ctl
