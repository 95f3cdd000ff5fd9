#pragma once

#include <QByteArray>
#include <QString>
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

// The folder of the test fixtures (tests/fixtures in the source tree).
QString FixturePath(const QString& name);
