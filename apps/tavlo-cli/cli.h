#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// A command of tavlo-cli: gets its arguments (without the command name) and returns the
// exit code.
using TCliCommand = std::function<int(const QStringList& args)>;

struct TCliRegistrar {
    TCliRegistrar(const char* name, const char* usage, TCliCommand command);
};

// Registers a command from its own source file.
#define TAVLO_CLI_COMMAND(ident, name, usage, function)                                          \
    static const TCliRegistrar ident##Registrar(name, usage, function)

// Output helpers: text to stdout / stderr in the local encoding.
void Out(const QString& text);
void Err(const QString& text);

// Takes "--option VALUE" out of args; returns false when absent.
bool TakeOption(QStringList& args, const QString& option, QString& value);
// Takes the flag "--flag" out of args.
bool TakeFlag(QStringList& args, const QString& flag);
