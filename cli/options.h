#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/shared_options.h"

namespace zelt::cli {

// The command line of every program without a window and of the panel: -h/--help, -v/--version,
// the options they share and each program's own, read by one parser with one wording per mistake.
// A program names the shared options it takes, adds its own, reads, and either runs or finishes
// with what the reading says:
//
//     Options options("zeltd", "Serves the projector on the network.", {Shared::Log});
//     const QCommandLineOption config("config", "The configuration file.", "FILE");
//     options.add(config);
//     const Reading reading = options.read(QCoreApplication::arguments());
//     if (reading.kind != Reading::Kind::Run) return finish(options.program(), reading);

// A refused command line's exit status, in every program.
inline constexpr int kExitUsage = 1;

// What reading a command line came to.
struct Reading {
    enum class Kind { Run, Help, Version, Mistake };
    Kind kind = Kind::Run;
    std::string text;  // Help, Version: what to print; Mistake: why, for the operator
};

class Options {
public:
    // `program` is the name as a user types it; `description` opens the help. `logHelp` replaces
    // the help line of --log for a program whose log holds more than the line's traffic.
    Options(std::string program, const QString& description, std::initializer_list<Shared> shared,
            const QString& logHelp = {});

    // The program's own options; an option with a value may be given once.
    void add(const QCommandLineOption& option);
    // The program takes words after its options (none unless this is called), shown in the help.
    void takeWords(const QString& name, const QString& description, const QString& syntax);

    // Reads `arguments` (the program first, as QCoreApplication::arguments() has them) and checks
    // every shared value, so that a wrong command line opens nothing. Help and version win over
    // any later mistake; otherwise the first mistake is the one told.
    Reading read(const QStringList& arguments);

    // After a reading that came to Run:
    const LineRequest& line() const { return shared_.line; }
    const std::string& logPath() const { return shared_.logPath; }  // empty: no --log
    bool isSet(const QCommandLineOption& option) const { return parser_.isSet(option); }
    bool isSet(const QString& name) const { return parser_.isSet(name); }
    QString value(const QCommandLineOption& option) const { return parser_.value(option); }
    QString value(const QString& name) const { return parser_.value(name); }
    QStringList words() const { return parser_.positionalArguments(); }

    const std::string& program() const { return program_; }
    // The help, its usage line naming the program as a user types it, whatever path started it.
    std::string helpText() const;

private:
    std::string readShared();

    std::string program_;
    QCommandLineParser parser_;
    std::vector<QCommandLineOption> valued_;  // options that take a value
    bool takesWords_ = false;
    SharedValues shared_;
};

// "PROGRAM: WHY" and the way to the help, as printed for a mistake.
std::string mistakeText(const std::string& program, const std::string& why);
// Prints what a reading other than Run says where it belongs and gives the exit status: the help
// or the version on standard output (0), a mistake on standard error (kExitUsage).
int finish(const std::string& program, const Reading& reading);

}  // namespace zelt::cli
