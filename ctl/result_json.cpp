#include "ctl/result_json.h"

#include <QJsonDocument>

namespace zelt::ctl {

namespace {

QString bytes(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

QJsonObject resultJson(const QueryResult& result) {
    const std::string_view outcome = queryOutcomeName(result.outcome);
    return QJsonObject{
        {"command", bytes(result.command)},
        {"reply", bytes(result.reply)},
        {"rendering", QString::fromStdString(result.rendering)},
        {"phrase", QString::fromStdString(result.phrase)},
        {"outcome", QString::fromUtf8(outcome.data(), static_cast<qsizetype>(outcome.size()))},
    };
}

std::string resultJsonText(const QueryResult& result) {
    return QJsonDocument(resultJson(result)).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace zelt::ctl
