#pragma once

#include <QCommandLineParser>
#include <QString>
#include <string>

namespace zelt {

// The parser's help, its usage line naming `program` as a user types it, whatever path it was
// started by (and also before an application object exists, when Qt knows no name).
inline std::string helpTextOf(const QCommandLineParser& parser, const char* program) {
    QString text = parser.helpText();
    const qsizetype name = text.indexOf("Usage: ") + 7;
    const qsizetype end = text.indexOf(' ', name);
    if (name >= 7 && end > name) text.replace(name, end - name, program);
    return text.toStdString();
}

}  // namespace zelt
