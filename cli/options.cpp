#include "cli/options.h"

#include <algorithm>
#include <cstdio>

#include "app/version.h"
#include "platform/line/line_address.h"

namespace zelt::cli {

namespace {

// Added to the description of a program that takes the line options.
const char kLineChoiceHelp[] =
    "The line: --device, else --port, else the port stored by the panel's COM dialog\n"
    "(~/.config/ZELT.conf). Port n opens $ZELT_COM<n> when set, else [Ports] COM<n> of that file,\n"
    "else /dev/ttyS<n-1>. The speed: --baud, else the stored one, else 19200 bit/s.";

bool takes(std::initializer_list<Shared> shared, Shared group) {
    return std::find(shared.begin(), shared.end(), group) != shared.end();
}

}  // namespace

Options::Options(std::string program, const QString& description, std::initializer_list<Shared> shared,
                 const QString& logHelp)
    : program_(std::move(program)) {
    // One dash or two: "-port 3" is "--port 3".
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.setApplicationDescription(takes(shared, Shared::Line) ? description + "\n\n" + kLineChoiceHelp
                                                                  : description);
    // Our own --help and --version: Qt's add --help-all, with Qt's options that do not apply here.
    add(QCommandLineOption({"h", "help"}, "Shows this help."));
    add(QCommandLineOption({"v", "version"}, "Shows the release number."));
    for (const SharedOption& o : sharedOptions()) {
        if (!takes(shared, o.group)) continue;
        const bool ownLogHelp = o.group == Shared::Log && !logHelp.isEmpty();
        add(QCommandLineOption(o.name, ownLogHelp ? logHelp : QString(o.help), o.valueName));
    }
}

void Options::add(const QCommandLineOption& option) {
    parser_.addOption(option);
    if (!option.valueName().isEmpty()) valued_.push_back(option);
}

void Options::takeWords(const QString& name, const QString& description, const QString& syntax) {
    parser_.addPositionalArgument(name, description, syntax);
    takesWords_ = true;
}

Reading Options::read(const QStringList& arguments) {
    const auto mistake = [](std::string why) { return Reading{Reading::Kind::Mistake, std::move(why)}; };
    if (!parser_.parse(arguments)) return mistake(parser_.errorText().toStdString());
    if (parser_.isSet("help")) return {Reading::Kind::Help, helpText()};
    if (parser_.isSet("version")) return {Reading::Kind::Version, program_ + " " + kVersion + "\n"};

    const QStringList found = parser_.optionNames();
    for (const QCommandLineOption& option : valued_) {
        const auto given = std::count_if(found.begin(), found.end(),
                                         [&](const QString& name) { return option.names().contains(name); });
        if (given > 1) return mistake("--" + option.names().constLast().toStdString() + " is given more than once");
    }
    if (!takesWords_ && !parser_.positionalArguments().isEmpty())
        return mistake("unexpected argument " + quote(parser_.positionalArguments().first().toStdString()));
    if (std::string why = readShared(); !why.empty()) return mistake(std::move(why));
    return {};
}

std::string Options::readShared() {
    shared_ = {};
    for (const SharedOption& o : sharedOptions()) {
        if (!parser_.optionNames().contains(o.name)) continue;  // not given, or not taken
        if (std::string why = o.read(parser_.value(o.name).toStdString(), shared_); !why.empty()) return why;
    }
    return {};
}

std::string Options::helpText() const {
    QString text = parser_.helpText();
    const qsizetype name = text.indexOf("Usage: ") + 7;
    const qsizetype end = text.indexOf(' ', name);
    if (name >= 7 && end > name) text.replace(name, end - name, QString::fromStdString(program_));
    return text.toStdString();
}

std::string mistakeText(const std::string& program, const std::string& why) {
    return program + ": " + why + "\nTry '" + program + " --help'.\n";
}

int finish(const std::string& program, const Reading& reading) {
    const bool mistake = reading.kind == Reading::Kind::Mistake;
    std::FILE* stream = mistake ? stderr : stdout;
    std::fputs((mistake ? mistakeText(program, reading.text) : reading.text).c_str(), stream);
    std::fflush(stream);
    return mistake ? kExitUsage : 0;
}

}  // namespace zelt::cli
