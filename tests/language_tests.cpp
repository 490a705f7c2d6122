// The window's two languages: which one a system gets, the window worked in English and
// switched back at once from its menu, and the translation sources complete and current.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "dwnload1.h"
#include "file_places.h"
#include "language.h"
#include "sim_rig.h"

namespace tavrel::test {
namespace {

#ifndef _WIN32
// Run by the case below in a child process under the locale it names: Qt reads the system's
// languages from the environment the process starts in.
TEST(Language, ChoiceOfThisProcess) {
    const QString expected = qEnvironmentVariable("TAVREL_EXPECT_LANGUAGE");
    if (expected.isEmpty()) GTEST_SKIP() << "run by Language.SystemChoiceUnderRealLocales";
    EXPECT_EQ(languageCode(systemLanguage()), expected);
}

TEST(Language, SystemChoiceUnderRealLocales) {
    struct Case {
        const char* lang;
        const char* language;  // GNU's list of preferred languages, if any
        const char* expected;
    };
    const Case cases[] = {
        {"ko_KR.UTF-8", "", "ko"},
        {"ko_KR.EUC-KR", "", "ko"},
        {"en_US.UTF-8", "", "en"},
        {"en_GB.UTF-8", "", "en"},
        {"de_DE.UTF-8", "", "en"},
        {"ja_JP.UTF-8", "", "en"},
        {"C", "", "ko"},
        {"C.UTF-8", "", "ko"},
        {"POSIX", "", "ko"},
        {"de_DE.UTF-8", "ko:en", "ko"},
        {"ko_KR.UTF-8", "en_US", "en"},
        {"fr_FR.UTF-8", "fr:de", "en"},
        {"fr_FR.UTF-8", "fr:ko", "ko"},
        {"C", "en", "ko"},  // C ignores the list
    };
    for (const Case& c : cases) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) env.remove(name);
        env.insert("LANG", c.lang);
        if (*c.language != '\0') env.insert("LANGUAGE", c.language);
        env.insert("TAVREL_EXPECT_LANGUAGE", c.expected);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=Language.ChoiceOfThisProcess"});
        ASSERT_TRUE(child.waitForFinished(30000)) << c.lang;
        const QString out = QString::fromUtf8(child.readAll());
        EXPECT_TRUE(child.exitCode() == 0 && out.contains("[  PASSED  ] 1 test"))
            << "LANG=" << c.lang << " LANGUAGE=" << c.language << "\n"
            << out.toStdString();
    }
}
#endif

TEST(Language, ChoiceKeptBesideTheSettings) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Tavreldwn.lang");
    EXPECT_FALSE(loadLanguageChoice(file).has_value());
    ASSERT_TRUE(saveLanguageChoice(file, Language::English));
    EXPECT_EQ(readFile(file), "en\r\n");
    EXPECT_EQ(loadLanguageChoice(file), Language::English);
    ASSERT_TRUE(saveLanguageChoice(file, std::nullopt));
    EXPECT_FALSE(QFile::exists(file));
    // A hand-edited file and the words --lang takes.
    const std::pair<const char*, std::optional<Language>> words[] = {
        {" KO \n", Language::Korean}, {"Korean", Language::Korean},
        {"한국어", Language::Korean}, {"English\r\n", Language::English},
        {"EN", Language::English},    {"de", std::nullopt},
        {"", std::nullopt},           {"kor", std::nullopt}};
    for (const auto& [text, expected] : words) {
        ASSERT_TRUE(writeFile(file, QByteArray(text)));
        EXPECT_EQ(loadLanguageChoice(file), expected) << text;
        EXPECT_EQ(parseLanguage(QString::fromUtf8(text)), expected) << text;
    }
}

class LanguageWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ASSERT_TRUE(translations.install(Language::English))
            << "no tavrel_en.qm in " << translationFolders().join(", ").toStdString();
        window = std::make_unique<DwnLoad1>(rig.link);
        window->warn = [](const QString&) {};
        window->useTranslations(&translations, Language::English);
    }
    void TearDown() override {
        window.reset();
        setSettingsFolder({});
        QDir::setCurrent(previous);
    }
    template <typename W>
    W* widget(const char* name) {
        W* w = window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QStringList tabCaptions() {
        auto* tabs = widget<QTabWidget>("SSTab1");
        QStringList out;
        for (int i = 0; i < tabs->count(); ++i) out << tabs->tabText(i);
        return out;
    }

    Translations translations;  // outlives the window: removing it retranslates the window
    QTemporaryDir dir;
    QString previous;
    SimRig rig;
    std::unique_ptr<DwnLoad1> window;
};

TEST_F(LanguageWindow, EnglishCaptionsTheToolsOwnStatusesAndASwitchAtOnce) {
    const QStringList english{"Download", "View results after download", "Settings", "Flow meter",
                              "Modem communication"};
    EXPECT_EQ(tabCaptions(), english);
    EXPECT_EQ(window->windowTitle(), "TAVREL Download Program 1.09K");
    EXPECT_EQ(window->menuBar()->actions().size(), 1);
    EXPECT_EQ(window->menuBar()->actions().first()->text(), "E&xit");
    EXPECT_EQ(widget<QPushButton>("Command2")->text(), "Receive data");
    EXPECT_EQ(widget<QLabel>("Label3(7)")->text(), "Channel #8");
    EXPECT_EQ(widget<QRadioButton>("Option3(1)")->text(), "Hardware (Cts/Rts)");
    EXPECT_EQ(widget<QLabel>("Label6")->text(), "Normal");
    EXPECT_EQ(widget<QAction>("FindAction")->text(), "Find the instrument…");
    EXPECT_TRUE(widget<QAction>("LanguageEnglish")->isChecked());

    // The statuses the users know by their words stay the tool's own.
    window->startUp();
    widget<QPushButton>("Command2")->click();
    EXPECT_EQ(widget<QLabel>("Label4")->text(), "Finished. Data in File");
    window->openChart(-1);
    ASSERT_NE(window->chartWindow(), nullptr);
    EXPECT_EQ(window->chartWindow()->windowTitle(), "Chart");

    // Korean from the settings tab's menu: kept beside the settings, the window Korean at once,
    // what the download put into the widgets untouched.
    widget<QAction>("LanguageKorean")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(readFile("Tavreldwn.lang"), "ko\r\n");
    const QStringList korean{"다운로드", "다운로드 후 결과 보기", "환경설정", "유량계",
                             "모뎀 통신"};
    EXPECT_EQ(tabCaptions(), korean);
    EXPECT_EQ(window->windowTitle(), "TAVREL 다운로드 프로그램 1.09K");
    EXPECT_EQ(widget<QPushButton>("Command2")->text(), "데이터 수신");
    EXPECT_EQ(widget<QLabel>("Label6")->text(), "정상");
    EXPECT_EQ(widget<QAction>("FindAction")->text(), "유량계 찾기…");
    EXPECT_EQ(widget<QLabel>("Label4")->text(), "Finished. Data in File");
    EXPECT_EQ(widget<QLineEdit>("Text3(0)")->text(), "Flow m3/h");
    // The chart open beside it too.
    EXPECT_EQ(window->chartWindow()->windowTitle(), "차트");
    EXPECT_EQ(window->chartWindow()->statsTable()->horizontalHeaderItem(0)->text(), "보이는 범위");

    // Back to the system's choice: the file goes; the settings file never holds the language.
    widget<QAction>("LanguageSystem")->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFile::exists("Tavreldwn.lang"));
    window->close();
    EXPECT_EQ(readFile("Tavreldwn.ini").count("\r\n"), 35);
    EXPECT_FALSE(readFile("Tavreldwn.ini").toLower().contains("lang"));
}

TEST_F(LanguageWindow, TheModemsWordsStayWhenTheLanguageChanges) {
    window->startUp();
    window->setModemStatus("ATDT 5\r\nNO CARRIER\r\n");
    translations.install(Language::Korean);
    QCoreApplication::processEvents();
    EXPECT_EQ(widget<QLabel>("Label6")->text(), "ATDT 5\nNO CARRIER\n");
    EXPECT_EQ(widget<QLabel>("Label5")->text(), "상황");
}

#ifndef _WIN32
// The translation sources: every text of the code in both files (lupdate finds nothing new),
// each one finished, with the same placeholders as its source, and really in its language.
TEST(Translations, BothLanguagesCompleteAndCurrent) {
    QTemporaryDir dir;
    const QString source = QStringLiteral(TAVREL_SOURCE_DIR);
    QStringList files;
    for (const char* name : {"tavrel_ko.ts", "tavrel_en.ts"}) {
        const QString copy = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(source + "/translations/" + name, copy));
        files << copy;
    }
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(
        QStringLiteral(TAVREL_LUPDATE),
        QStringList{"-no-obsolete", "-locations", "none", source + "/app", source + "/chart",
                    source + "/shell", source + "/download/download_driver.cpp", "-ts"} +
            files);
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().toStdString();

    const QRegularExpression hangul(QStringLiteral("[\\x{AC00}-\\x{D7A3}]"));
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    auto placeholders = [&](const QString& text) {
        QStringList found;
        for (const auto& m : placeholder.globalMatch(text)) found << m.captured();
        found.sort();
        return found;
    };
    // Texts that are the same words in both windows: the menu item, names and file filters.
    const QStringList same{"E&xit",       "Slave ID",    "Download FileName",
                           "CSV (*.csv)", "PDF (*.pdf)", "–"};
    QMap<QString, QSet<QString>> sources;
    for (const QString& file : files) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&f);
        QString context, text;
        const bool korean = file.endsWith("_ko.ts");
        while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
            if (!xml.isStartElement()) continue;
            if (xml.name() == u"name") context = xml.readElementText();
            if (xml.name() == u"source") text = xml.readElementText();
            if (xml.name() != u"translation") continue;
            const QString type = xml.attributes().value("type").toString();
            const QString translation = xml.readElementText();
            const QString where = context + ": " + text;
            sources[file].insert(where);
            EXPECT_TRUE(type.isEmpty()) << type.toStdString() << " in " << file.toStdString()
                                        << ": " << where.toStdString();
            EXPECT_FALSE(translation.isEmpty()) << where.toStdString();
            EXPECT_EQ(placeholders(translation), placeholders(text)) << where.toStdString();
            if (same.contains(text)) {
                EXPECT_EQ(translation, text);
            } else if (korean) {
                // In Korean, or free of words (a separator like " then " becomes an arrow).
                EXPECT_TRUE(
                    translation.contains(hangul) ||
                    (!translation.contains(QRegularExpression("[A-Za-z]")) && translation != text))
                    << where.toStdString();
            } else if (!text.startsWith("Language")) {
                EXPECT_FALSE(translation.contains(hangul)) << where.toStdString();
            }
        }
        ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    }
    EXPECT_GT(sources[files[0]].size(), 100);
    EXPECT_EQ(sources[files[0]], sources[files[1]]);
}
#endif

}  // namespace
}  // namespace tavrel::test
