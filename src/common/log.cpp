#include "tavlo/log.h"

#include <map>

Q_LOGGING_CATEGORY(lcCommon, "Common")
Q_LOGGING_CATEGORY(lcMeasurementClass, "Measurement class")
Q_LOGGING_CATEGORY(lcMeasuringEngine, "Measuring Engine")
Q_LOGGING_CATEGORY(lcMainForm, "Main form")

namespace {
std::mutex GListenerMutex;
std::map<int, TLogListener>& Listeners() {
    static std::map<int, TLogListener> listeners;
    return listeners;
}
int GNextListener = 1;
} // namespace

const QLoggingCategory& LoggingCategory(TLogCategory category) {
    switch (category) {
    case TLogCategory::MeasurementClass:
        return lcMeasurementClass();
    case TLogCategory::MeasuringEngine:
        return lcMeasuringEngine();
    case TLogCategory::MainForm:
        return lcMainForm();
    case TLogCategory::Common:
        break;
    }
    return lcCommon();
}

void LogTo(TLogCategory category, const QString& text) {
    try {
        {
            std::lock_guard lock(GListenerMutex);
            for (auto& [id, listener] : Listeners())
                listener(category, text);
        }
        const QLoggingCategory& cat = LoggingCategory(category);
        if (cat.isInfoEnabled())
            QMessageLogger(nullptr, 0, nullptr, cat.categoryName()).info().noquote() << text;
    } catch (...) {
        // logging never interrupts the caller
    }
}

void LogLine(const QString& text) { LogTo(TLogCategory::Common, text); }

int AddLogListener(TLogListener listener) {
    std::lock_guard lock(GListenerMutex);
    const int id = GNextListener++;
    Listeners().emplace(id, std::move(listener));
    return id;
}

void RemoveLogListener(int id) {
    std::lock_guard lock(GListenerMutex);
    Listeners().erase(id);
}

TLogCapture::TLogCapture() {
    FId = AddLogListener([this](TLogCategory, const QString& text) {
        std::lock_guard lock(FMutex);
        FLines.append(text);
    });
}

TLogCapture::~TLogCapture() { RemoveLogListener(FId); }

QStringList TLogCapture::Lines() const {
    std::lock_guard lock(FMutex);
    return FLines;
}

bool TLogCapture::Contains(const QString& fragment) const {
    std::lock_guard lock(FMutex);
    for (const QString& line : FLines)
        if (line.contains(fragment))
            return true;
    return false;
}
