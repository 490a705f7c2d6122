#include "archive_choice.h"

#include <QCoreApplication>

#include <QFile>

#include "archive.h"
#include "local_text.h"
#include "settings_file.h"
#include "whole_file.h"

namespace tavrel {

ArchiveChoice loadArchiveChoice() {
    ArchiveChoice choice;
    QFile file(settingsPath(kArchiveChoiceFileName));
    if (!file.open(QIODevice::ReadOnly)) return choice;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = decodeLocal(raw.trimmed());
        if (line.startsWith(QStringLiteral("archive="))) choice.archive = line.mid(8);
        if (line.startsWith(QStringLiteral("meter="))) choice.meter = line.mid(6);
    }
    return choice;
}

bool saveArchiveChoice(const ArchiveChoice& choice) {
    return writeWholeFile(
        settingsPath(kArchiveChoiceFileName),
        encodeLocal(
            QStringLiteral("archive=%1\r\nmeter=%2\r\n").arg(choice.archive, choice.meter)));
}

QString addDownloadToArchive(const DownloadDriver& driver, const ArchiveChoice& choice,
                             const QString& place, int slave) {
    if (driver.logBytes().isEmpty())
        return QCoreApplication::translate("ArchiveChoice",
                                           "There is no downloaded log to add to the archive yet.");
    archive::Archive db;
    QString error;
    if (!db.open(choice.archive, &error)) return error;
    archive::VisitData v;
    v.meter = choice.meter;
    v.place = place;
    v.slave = slave;
    v.captions = driver.shape().captionList();
    v.started = v.ended = archive::wallNow();
    v.result = QStringLiteral("ok");
    v.readKind = QStringLiteral("full");
    v.readWhy = QStringLiteral("added from the window");
    v.logBytes = driver.shape().total;
    v.readFrom = driver.readFrom();
    v.bytes = driver.logBytes();
    const archive::VisitOutcome o = db.addVisit(v);
    if (!o.error.isEmpty())
        return QCoreApplication::translate("ArchiveChoice", "Not added to the archive: %1")
            .arg(o.error);
    const QString added =
        QCoreApplication::translate(
            "ArchiveChoice", "Added to the archive %1 as %2: %3 new records, %4 already there.")
            .arg(archive::shownAddress(choice.archive), choice.meter)
            .arg(o.recordsNew)
            .arg(o.recordsKnown);
    if (o.conflicts == 0) return added;
    return QCoreApplication::translate(
               "ArchiveChoice",
               "%1 %2 records had another value there; the archived values were kept.")
        .arg(added)
        .arg(o.conflicts);
}

}  // namespace tavrel
