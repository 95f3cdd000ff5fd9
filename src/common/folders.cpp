#include "tavlo/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace {
std::mutex GMutex;
QString GDataFolder;
bool GDataFolderSet = false;

QString StripTrailingSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}
} // namespace

QString ProgramFolder() {
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QDir::currentPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString DataFolder() {
    {
        std::lock_guard lock(GMutex);
        if (GDataFolderSet)
            return GDataFolder;
    }
    return StripTrailingSlash(ProgramFolder());
}

void SetDataFolder(const QString& folder) {
    std::lock_guard lock(GMutex);
    GDataFolder = StripTrailingSlash(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    GDataFolderSet = true;
}

QString DataPath(const QString& relative) { return DataFolder() + u'/' + relative; }
