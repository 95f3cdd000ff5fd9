#pragma once

#include <QList>
#include <QObject>
#include <QString>

class TRtSeries;

// A graph: it owns its series and data vectors as components.
class TRtGraph2D : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)

public:
    Q_INVOKABLE explicit TRtGraph2D(QObject* aOwner = nullptr);
    ~TRtGraph2D() override;

    QString Caption;

    // The series owned by the graph, in component order.
    QList<TRtSeries*> Series() const;
};
