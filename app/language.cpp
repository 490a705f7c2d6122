#include "language.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>

#include "whole_file.h"

namespace tavrel {

QString languageCode(Language language) {
    return language == Language::Korean ? QStringLiteral("ko") : QStringLiteral("en");
}

std::optional<Language> parseLanguage(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word == u"ko" || word == u"kr" || word == u"korean" || word == u"한국어")
        return Language::Korean;
    if (word == u"en" || word == u"english") return Language::English;
    return std::nullopt;
}

Language languageForUi(const QStringList& uiLanguages) {
    for (const QString& entry : uiLanguages) {
        // "ko", "ko-KR", "ko_KR.UTF-8": the language is what stands before the first separator.
        const QString language =
            entry.section(QRegularExpression(QStringLiteral("[-_.@]")), 0, 0).toLower();
        if (language == u"ko") return Language::Korean;
        if (language == u"en") return Language::English;
        if (language == u"c" || language == u"posix") return Language::Korean;
    }
    return uiLanguages.isEmpty() ? Language::Korean : Language::English;
}

Language systemLanguage() {
    const QLocale system = QLocale::system();
    // The C locale is the window as documented, whatever Qt makes of its UI languages.
    if (system.language() == QLocale::C) return Language::Korean;
    return languageForUi(system.uiLanguages());
}

std::optional<Language> loadLanguageChoice(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return parseLanguage(QString::fromUtf8(file.read(64)));
}

bool saveLanguageChoice(const QString& path, std::optional<Language> choice) {
    if (!choice) return !QFile::exists(path) || QFile::remove(path);
    return writeWholeFile(path, (languageCode(*choice) + QStringLiteral("\r\n")).toUtf8());
}

QStringList translationFolders() {
    const QDir program(QCoreApplication::applicationDirPath());
    return {program.filePath(QStringLiteral("translations")),
            program.filePath(QStringLiteral("../translations")),
            program.filePath(QStringLiteral("../share/tavrel/translations"))};
}

Translations::~Translations() { removeAll(); }

void Translations::removeAll() {
    if (own_) QCoreApplication::removeTranslator(own_.get());
    if (qt_) QCoreApplication::removeTranslator(qt_.get());
    own_.reset();
    qt_.reset();
    loadedFile_.clear();
}

bool Translations::install(Language language) {
    removeAll();
    language_ = language;
    const QString code = languageCode(language);
    auto own = std::make_unique<QTranslator>();
    for (const QString& folder : translationFolders()) {
        if (own->load(QStringLiteral("tavrel_") + code, folder)) {
            loadedFile_ = QDir(folder).absoluteFilePath(QStringLiteral("tavrel_%1.qm").arg(code));
            break;
        }
    }
    // Qt's own words (Cancel, Save, the file dialog's columns): shipped beside the tool's on
    // Windows, Qt's own folder on Linux.
    auto qt = std::make_unique<QTranslator>();
    QStringList qtFolders = translationFolders();
    qtFolders << QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString& folder : qtFolders) {
        if (qt->load(QStringLiteral("qtbase_") + code, folder)) {
            QCoreApplication::installTranslator(qt.get());
            qt_ = std::move(qt);
            break;
        }
    }
    if (loadedFile_.isEmpty()) {
        // Still tell every widget: a window switched back must leave the other language.
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
        return false;
    }
    QCoreApplication::installTranslator(own.get());
    own_ = std::move(own);
    return true;
}

}  // namespace tavrel
