#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <stdexcept>

TTestFolder::TTestFolder() {
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString TTestFolder::Path(const QString& name) const {
    return name.isEmpty() ? FDir.path() : FDir.filePath(name);
}

QByteArray TTestFolder::Read(const QString& name) const {
    QFile f(Path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void TTestFolder::Write(const QString& name, const QByteArray& data) const {
    const QString path = Path(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write test file");
    f.write(data);
}

QString FixturePath(const QString& name) {
    return QStringLiteral(TAVLO_FIXTURE_DIR "/") + name;
}

TProcessRun RunProcess(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
