#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

enum class TLogCategory { Common, MeasurementClass, MeasuringEngine, MainForm };

Q_DECLARE_LOGGING_CATEGORY(lcCommon)
Q_DECLARE_LOGGING_CATEGORY(lcMeasurementClass)
Q_DECLARE_LOGGING_CATEGORY(lcMeasuringEngine)
Q_DECLARE_LOGGING_CATEGORY(lcMainForm)

const QLoggingCategory& LoggingCategory(TLogCategory category);

// One diagnostic line through the "Common" logger. Never throws.
void LogLine(const QString& text);
// One line through the named logger. Never throws.
void LogTo(TLogCategory category, const QString& text);

// Listeners see every line of every logger, from any thread.
using TLogListener = std::function<void(TLogCategory, const QString&)>;
int AddLogListener(TLogListener listener);
void RemoveLogListener(int id);

// Collects the lines logged during its lifetime (thread-safe).
class TLogCapture {
public:
    TLogCapture();
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;
    QStringList Lines() const;
    bool Contains(const QString& fragment) const;

private:
    mutable std::mutex FMutex;
    QStringList FLines;
    int FId;
};
