#include "tavlo/measurementfile.h"

#include <QDir>
#include <QFile>

#include "tavlo/componenttext.h"
#include "tavlo/folders.h"
#include "tavlo/log.h"
#include "tavlo/userinteraction.h"

namespace {

bool FailedToOpen(const QString& path, const QString& why) {
    LogTo(TLogCategory::MeasurementClass, QStringLiteral("Opening %1: %2").arg(path, why));
    UserInteraction().ShowMessage(QStringLiteral("File '") + path +
                                  QStringLiteral("' failed to open."));
    return false;
}

// Step 1: the stored name and the point count from the head of the file.
bool ReadHead(const QString& path, QString& name, QString& pointCount) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return FailedToOpen(path, f.errorString());
    int lines = 0;
    while (lines < 20 && !f.atEnd()) {
        const QString line = QString::fromLatin1(f.readLine()).trimmed();
        if (lines == 0)
            name = line.mid(7, 20);
        const qsizetype at = line.indexOf(QLatin1String("AmountOfData "));
        if (at >= 0 && pointCount.isEmpty())
            pointCount = line.mid(line.indexOf(u'=') + 1).trimmed();
        ++lines;
    }
    // A short file is fine (a measurement without nodes is a few lines); what is not a
    // component text cannot be one of ours.
    if (lines == 0)
        return FailedToOpen(path, QStringLiteral("empty file"));
    return true;
}

} // namespace

TMeasurement* LoadMeasurement(const QString& path, TComponentObjectList* openMeasurements,
                              const TLoadOptions& options) {
    RegisterModelClasses();
    QString name, pointCount;
    if (!ReadHead(path, name, pointCount))
        return nullptr;
    if (options.Progress)
        options.Progress(1, QStringLiteral("Loading ") + pointCount +
                                QStringLiteral(" points of data"));

    if (openMeasurements && !name.isEmpty()) {
        for (QObject* item : openMeasurements->Items()) {
            auto* open = static_cast<TMeasurement*>(item);
            if (open->objectName() != name)
                continue;
            const QString oldLocation = open->FileLocation;
            open->setObjectName(RandomName(20));
            open->Initialize();
            open->FileLocation.clear();
            UserInteraction().ShowMessage(
                QStringLiteral("File ") + oldLocation +
                QStringLiteral(" is already open. To avoid conflicts, save it with different name."));
        }
    }

    std::unique_ptr<TMeasurement> m;
    try {
        std::unique_ptr<QObject> obj = LoadComponentFromFile(path);
        if (auto* loaded = qobject_cast<TMeasurement*>(obj.get())) {
            obj.release();
            m.reset(loaded);
        } else {
            LogTo(TLogCategory::MeasurementClass,
                  QStringLiteral("%1 holds a %2").arg(path, QLatin1String(obj->metaObject()->className())));
        }
    } catch (const std::exception& e) {
        LogTo(TLogCategory::MeasurementClass,
              QStringLiteral("Reading %1 failed: %2").arg(path, QString::fromStdString(e.what())));
    }
    if (!m) {
        UserInteraction().ShowMessage(
            QStringLiteral("Opening measurement failed. Possibly an old file format"));
        return nullptr;
    }

    m->FileLocation = path;
    m->Initialize();
    if (m->Active && options.AskActive) {
        const QString question =
            QStringLiteral("The measurement '") + m->Caption() +
            QStringLiteral("' is marked as active.\r\n\r\nIt will try to start to measure the "
                           "instant it is opened, and this may not be desirable in many cases; "
                           "you are at an office computer, your devices setup have changed, this "
                           "is a duplicate of another measurement etc.\r\n\r\nDo you want to make "
                           "the measurement inactive?");
        if (UserInteraction().AskYesNo(question))
            m->Active = false;
    }
    TMeasurement* result = m.release();
    if (openMeasurements)
        openMeasurements->Add(result);
    result->RetrieveNodesFromDataString(options.Progress);
    if (result->NodesIncomplete) {
        // Saving it to its own file would drop the nodes that could not be read.
        LogTo(TLogCategory::MeasurementClass,
              QStringLiteral("Not all nodes of %1 could be read; the measurement will not be "
                             "saved over that file.")
                  .arg(path));
        result->FileLocation.clear();
    }
    result->RetrieveGraphsFromDataString(options.Progress);
    return result;
}

QString AutosavePath(const TMeasurement& measurement) {
    QString caption = measurement.Caption();
    caption.replace(u'/', u'_'); // a caption is a file name here, not a path
    return DataPath(QStringLiteral("Measurements/Autosave/")) + caption +
           QStringLiteral("-save_") + QString::number(measurement.SaveCount) +
           QStringLiteral(".mea");
}

bool AutosaveMeasurement(TMeasurement& measurement) {
    const QString location = measurement.FileLocation;
    const QString path = AutosavePath(measurement);
    QDir().mkpath(DataPath(QStringLiteral("Measurements/Autosave")));
    const bool ok = measurement.Save(path);
    measurement.FileLocation = location;
    return ok;
}
