#include "link/query_result_json.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace zelt {

namespace {

// One byte a character, as the line carries them.
QString bytes(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

std::string queryResultJson(const QueryResult& result) {
    const std::string_view outcome = queryOutcomeName(result.outcome);
    const QJsonObject object{
        {"command", bytes(result.command)},
        {"reply", bytes(result.reply)},
        {"rendering", QString::fromStdString(result.rendering)},
        {"phrase", QString::fromStdString(result.phrase)},
        {"outcome", QString::fromUtf8(outcome.data(), static_cast<qsizetype>(outcome.size()))},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace zelt
