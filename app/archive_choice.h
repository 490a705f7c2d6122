#pragma once
// The window's archive: which archive and which meter name "Add to archive…" uses, asked once
// and kept beside Tavreldwn.ini in Tavreldwn.archive (two lines, "archive=" and "meter="), never
// in the settings file's 35 lines.

#include <QString>

#include "download_driver.h"

namespace tavrel {

inline const QString kArchiveChoiceFileName = QStringLiteral("Tavreldwn.archive");

struct ArchiveChoice {
    QString archive;  // a SQLite file or a PostgreSQL address
    QString meter;
    bool complete() const { return !archive.isEmpty() && !meter.isEmpty(); }
};

ArchiveChoice loadArchiveChoice();
bool saveArchiveChoice(const ArchiveChoice& choice);

// The last download (its raw log bytes and captions) into the archive as a whole read; a
// sentence for the user: what was added, or why nothing was.
QString addDownloadToArchive(const DownloadDriver& driver, const ArchiveChoice& choice,
                             const QString& place, int slave);

}  // namespace tavrel
