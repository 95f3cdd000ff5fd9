#include "tavlo/rtgraph.h"

#include "tavlo/rtseries.h"

TRtGraph2D::TRtGraph2D(QObject* aOwner) : QObject(aOwner) {}

TRtGraph2D::~TRtGraph2D() {
    // Series go before the vectors they refer to.
    for (TRtSeries* series : Series())
        delete series;
}

QList<TRtSeries*> TRtGraph2D::Series() const {
    QList<TRtSeries*> list;
    for (QObject* child : children())
        if (auto* series = qobject_cast<TRtSeries*>(child))
            list.append(series);
    return list;
}
