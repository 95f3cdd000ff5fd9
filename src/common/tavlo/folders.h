#pragma once

#include <QString>

// The program's own folder, with a trailing '/'.
QString ProgramFolder();
// The root of the data folder tree, without trailing '/'. Defaults to the program folder.
QString DataFolder();
void SetDataFolder(const QString& folder);
// A path below the data folder, e.g. DataPath("Measurements/Autosave").
QString DataPath(const QString& relative);
