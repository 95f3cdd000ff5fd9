#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with data so that either the old or the new content is there
// afterwards, never a partial one: the data goes to a temporary file in the same folder,
// which is flushed to disk and renamed over the old file. Returns false (and the reason in
// error) on failure; the old file is then intact.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);
