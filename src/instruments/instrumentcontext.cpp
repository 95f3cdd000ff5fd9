#include "tavlo/instrumentcontext.h"

#include "tavlo/log.h"
#include "tavlo/measurementnode.h"

void IInstrumentContext::Feedback(const QString& line) {
    LogTo(TLogCategory::MeasuringEngine, line);
}

void IInstrumentContext::HandOverSweepPoint(TMeasurementNode& node,
                                            const TMeasurementResult& point) {
    node.AddData(point);
}

void IInstrumentContext::SendLAN(TMeasurementNode& node, const QString& text) {
    LogLine(QStringLiteral("ParseAndSendLAN is not available: the commands for node ") +
            node.Caption + QStringLiteral(" were not sent"));
}

bool IInstrumentContext::ReadLAN(TMeasurementNode& node, QString& reply) {
    LogLine(QStringLiteral("LAN read is not available: no reading for node ") + node.Caption);
    reply.clear();
    return false;
}

IInstrumentContext& DefaultInstrumentContext() {
    static IInstrumentContext context;
    return context;
}
