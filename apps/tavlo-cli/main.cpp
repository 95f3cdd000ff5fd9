// tavlo-cli: the headless runner.
#include "cli.h"

#include <QCoreApplication>

#include <cstdio>
#include <map>
#include <unistd.h>

#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/userinteraction.h"

namespace {
struct TEntry {
    QString Usage;
    TCliCommand Command;
};

std::map<QString, TEntry>& Commands() {
    static std::map<QString, TEntry> commands;
    return commands;
}

void Usage() {
    Err(QStringLiteral("usage: tavlo-cli [--verbose] COMMAND ARGS..."));
    for (const auto& [name, entry] : Commands())
        Err(QStringLiteral("  ") + entry.Usage);
}
} // namespace

TCliRegistrar::TCliRegistrar(const char* name, const char* usage, TCliCommand command) {
    Commands()[QString::fromUtf8(name)] = TEntry{QString::fromUtf8(usage), std::move(command)};
}

void Out(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void Err(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

bool TakeOption(QStringList& args, const QString& option, QString& value) {
    const qsizetype i = args.indexOf(option);
    if (i < 0 || i + 1 >= args.size())
        return false;
    value = args.at(i + 1);
    args.remove(i, 2);
    return true;
}

bool TakeFlag(QStringList& args, const QString& flag) { return args.removeAll(flag) > 0; }

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitDecimalSeparatorFromSystem();
    QStringList args = app.arguments().mid(1);
    const bool verbose = TakeFlag(args, QStringLiteral("--verbose"));
    if (!verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));

    THeadlessUserInteraction ui(isatty(STDIN_FILENO) != 0);
    ui.SetVerboseStatus(verbose);
    SetUserInteraction(&ui);

    if (args.isEmpty() || args.first() == QStringLiteral("--help")) {
        Usage();
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args.takeFirst();
    const auto it = Commands().find(name);
    if (it == Commands().end()) {
        Err(QStringLiteral("unknown command: ") + name);
        Usage();
        return 2;
    }
    const int code = it->second.Command(args);
    SetUserInteraction(nullptr);
    return code;
}
