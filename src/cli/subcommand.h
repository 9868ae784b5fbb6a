#pragma once
// The subcommands of sorimba-clip and the rules they share. Each subcommand
// declares its options and arguments on a QCommandLineParser and runs once
// they parsed; the parsing itself, -h/--help, usage errors and the exit
// status of a usage error are the same for all of them (cli/main.cpp).
//
// Adding a subcommand: a file that defines a function returning its
// Subcommand, declared below and listed in kSubcommands in cli/main.cpp.

#include <QByteArray>
#include <QCommandLineParser>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "extraction/extraction.h"

namespace sorimba::cli {

// Exit status of a usage error, for every subcommand.
inline constexpr int kUsageError = 2;

class Invocation;

struct Subcommand {
    QString name;
    QString synopsis;     // what follows "sorimba-clip NAME" in the usage line
    QString description;  // what it does, for its --help and the program's
    QString exitStatus;   // one line per exit status, for its --help
    std::function<void(QCommandLineParser&)> declare;  // options and arguments
    std::function<int(const Invocation&)> run;         // returns the exit status
};

// One run of a subcommand: its parsed command line, and help with what
// every subcommand reports the same way.
class Invocation {
public:
    Invocation(const Subcommand& command, const QCommandLineParser& parser,
               const std::vector<QByteArray>& rawArguments)
        : command_(command), parser_(parser), rawArguments_(rawArguments) {}

    const QCommandLineParser& parser() const { return parser_; }
    QStringList arguments() const { return parser_.positionalArguments(); }

    // A usage error: one line on standard error; returns kUsageError.
    int usageError(const QString& why) const;
    // An error of the subcommand's work: "sorimba-clip NAME: what" on
    // standard error.
    void report(const QString& what) const;

    // A file name given on the command line, or nothing when its bytes
    // cannot be named in the current locale (they would name another file).
    std::optional<QString> fileName(const QString& argument) const;

private:
    const Subcommand& command_;
    const QCommandLineParser& parser_;
    const std::vector<QByteArray>& rawArguments_;
};

// Writes UTF-8 text to a standard stream.
void print(std::FILE* to, const QString& text);

// The extraction's option switches as flags (--with-titles, --with-votes,
// --with-staff-word, --with-about, --join-lines), for extract and import.
void declareOptionFlags(QCommandLineParser& parser);
extraction::Options optionFlags(const QCommandLineParser& parser);

Subcommand extractCommand();
Subcommand importCommand();
Subcommand saveCommand();
Subcommand settingsCommand();
Subcommand convertCommand();

}  // namespace sorimba::cli
