#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A fresh temporary folder for one test.
class TTestFolder {
public:
    TTestFolder();
    QString Path(const QString& name = QString()) const;
    QByteArray Read(const QString& name) const;
    void Write(const QString& name, const QByteArray& data) const;

private:
    QTemporaryDir FDir;
};

// Runs a program to its end (no input); Code is -1 when it did not finish in time.
struct TProcessRun {
    int Code = -1;
    QByteArray Out;
    QByteArray Err;
};
TProcessRun RunProcess(const QString& program, const QStringList& args, int timeoutMs = 60000);

// The folder of the test fixtures (tests/fixtures in the source tree).
QString FixturePath(const QString& name);
