#pragma once
// Which language the window speaks, and the translations that make it speak it.
//
// Korean is the window as the instrument's users have always known it; English is for everyone
// else. The choice, strongest first: `--lang ko|en`, the choice made in the settings tab's
// context menu (kept beside the settings in Tavreldwn.lang, one word), the system's UI
// languages. The statuses the users know by their words, the modem's replies and the headless
// tool's messages never change with it.

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <optional>

namespace tavrel {

enum class Language { Korean, English };

inline const QString kLanguageFileName = QStringLiteral("Tavreldwn.lang");

// "ko" or "en".
QString languageCode(Language language);
// "ko"/"kr"/"korean", "en"/"english" in any letter case; nothing for anything else.
std::optional<Language> parseLanguage(const QString& text);
// The system's choice from its UI languages, most preferred first (QLocale::uiLanguages): the
// first Korean or English one decides; the C/POSIX locale and an empty list keep the Korean
// window; any other language alone gets English.
Language languageForUi(const QStringList& uiLanguages);
Language systemLanguage();

// The choice kept in `path`; nothing when there is none or it names no language.
std::optional<Language> loadLanguageChoice(const QString& path);
// Keeps the choice; nothing removes the file, so the system decides again. False when the
// folder takes no file (the choice then lasts until the window closes).
bool saveLanguageChoice(const QString& path, std::optional<Language> choice);

// The folders the window's .qm files are looked up in, first hit wins: beside the program
// (Windows), the build tree, and <prefix>/share/tavrel/translations (Linux packages).
QStringList translationFolders();

// The translators the application holds for the window's language: the tool's own texts and
// Qt's (the buttons of the file dialogs and message boxes). Installing another language sends
// every widget a LanguageChange, so an open window speaks it at once.
class Translations {
  public:
    Translations() = default;
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // False when the tool's own .qm for `language` was not found: the window then shows its
    // texts as written in the code.
    bool install(Language language);
    Language language() const { return language_; }
    // Where the tool's own texts came from (empty when not found).
    const QString& loadedFile() const { return loadedFile_; }

  private:
    void removeAll();
    std::unique_ptr<QTranslator> own_;
    std::unique_ptr<QTranslator> qt_;
    Language language_ = Language::Korean;
    QString loadedFile_;
};

}  // namespace tavrel
