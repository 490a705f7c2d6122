#include "file_places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "settings_file.h"

namespace tavrel {

FilePlaces placeFiles(const PlaceInputs& in) {
    // Windows spells the tool's folder in capitals, as its Start-menu folder does.
    const QString own =
        QDir(in.documentsFolder)
            .filePath(in.windows ? QStringLiteral("TAVREL") : QStringLiteral("Tavrel"));
    if (in.demo) return {QDir(own).filePath(QStringLiteral("Demo")), QString(), QString()};
    if (!in.windows) return {in.current, QString(), QString()};
    if (in.documents) return {own, QString(), QString()};
    if (in.currentTakesFiles) return {in.current, QString(), QString()};
    FilePlaces places{own, QDir(in.localAppData).filePath(QStringLiteral("TAVREL")), QString()};
    if (!in.fallbackSettingsExist) {
        places.notice = QCoreApplication::translate(
                            "tavrel::FilePlaces",
                            "The folder this program started in, %1, takes no files.\n\n"
                            "Its settings are kept in %2 and downloads go to %3.")
                            .arg(QDir::toNativeSeparators(in.current),
                                 QDir::toNativeSeparators(places.settingsFolder),
                                 QDir::toNativeSeparators(places.workFolder));
    }
    return places;
}

bool folderTakesFiles(const QString& folder) {
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("tavrel-probe-XXXXXX")));
    return probe.open();  // removed again when it goes
}

PlaceInputs systemPlaceInputs(bool demo, bool documents) {
    PlaceInputs in;
#ifdef _WIN32
    in.windows = true;
#endif
    in.demo = demo;
    in.documents = documents;
    in.current = QDir::currentPath();
    in.documentsFolder = in.windows
                             ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                             : QDir::homePath();
    // Only Windows falls back; elsewhere the working folder is not probed at all.
    if (in.windows && !demo && !documents) {
        in.currentTakesFiles = folderTakesFiles(in.current);
        // On Windows the generic data location is %LOCALAPPDATA% itself.
        in.localAppData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        in.fallbackSettingsExist = QFileInfo::exists(
            QDir(in.localAppData).filePath(QStringLiteral("TAVREL/") + kSettingsFileName));
    }
    return in;
}

QString applyFilePlaces(const FilePlaces& places) {
    for (const QString& folder : {places.workFolder, places.settingsFolder}) {
        if (!folder.isEmpty() && !QDir().mkpath(folder))
            return QCoreApplication::translate("tavrel::FilePlaces", "cannot make the folder %1")
                .arg(QDir::toNativeSeparators(folder));
    }
    if (!QDir::setCurrent(places.workFolder))
        return QCoreApplication::translate("tavrel::FilePlaces", "cannot work in the folder %1")
            .arg(QDir::toNativeSeparators(places.workFolder));
    setSettingsFolder(places.settingsFolder);
    return {};
}

}  // namespace tavrel
