#include "platform/Spelling.h"

#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>

#include <hunspell/hunspell.hxx>

namespace platform {

namespace {

SpellingService* installed = nullptr;

QStringList readWordList(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList words;
    for (const QByteArray& line : f.readAll().split('\n')) {
        QString word = QString::fromUtf8(line).trimmed();
        if (!word.isEmpty()) words << word;
    }
    return words;
}

class HunspellSpeller : public Speller {
public:
    HunspellSpeller(const QString& files, QString language, QString wordList, WordListWriter write)
        : hunspell_(QFile::encodeName(files + QStringLiteral(".aff")).constData(),
                    QFile::encodeName(files + QStringLiteral(".dic")).constData()),
          language_(std::move(language)),
          wordList_(std::move(wordList)),
          write_(std::move(write))
    {
        // Dictionaries say how their words are encoded; most are UTF-8, older
        // ones a single-byte code page.
        QByteArray encoding = QByteArray::fromStdString(hunspell_.get_dict_encoding());
        if (encoding.compare("UTF-8", Qt::CaseInsensitive) != 0) {
            if (encoding.startsWith("ISO8859")) encoding.insert(3, '-');  // ISO8859-1 as Qt names it
            encoder_ = QStringEncoder(encoding.constData());
            decoder_ = QStringDecoder(encoding.constData());
            utf8_ = !encoder_.isValid() || !decoder_.isValid();
        }
        for (const QString& word : readWordList(wordList_)) hunspell_.add(encode(word));
    }

    bool knows(const QString& word) const override { return hunspell_.spell(encode(word)); }

    QStringList suggestions(const QString& word) const override
    {
        QStringList out;
        for (const std::string& s : hunspell_.suggest(encode(word))) out << decode(s);
        return out;
    }

    bool addWord(const QString& word, QString* error) override
    {
        hunspell_.add(encode(word));
        QStringList words = readWordList(wordList_);
        if (words.contains(word)) return true;
        words << word;
        QDir().mkpath(QFileInfo(wordList_).absolutePath());
        QString why = QStringLiteral("nothing was given to write it");
        if (!write_ || !write_(wordList_, (words.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(), why)) {
            if (error) *error = QStringLiteral("The word list \"%1\" could not be written: %2").arg(wordList_, why);
            return false;
        }
        return true;
    }

    QString language() const override { return language_; }

private:
    std::string encode(const QString& word) const
    {
        if (utf8_) return word.toStdString();
        QByteArray bytes = encoder_.encode(word);
        return bytes.toStdString();
    }
    QString decode(const std::string& bytes) const
    {
        if (utf8_) return QString::fromStdString(bytes);
        return decoder_.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }

    // Hunspell's own calls are not const, though they change nothing a
    // caller could see.
    mutable Hunspell hunspell_;
    QString language_;
    QString wordList_;
    WordListWriter write_;
    bool utf8_ = true;
    mutable QStringEncoder encoder_;
    mutable QStringDecoder decoder_;
};

}  // namespace

HunspellService::HunspellService()
{
    for (const QString& folder : qEnvironmentVariable("DICPATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        dictionaryFolders << folder;
    dictionaryFolders << QStringLiteral("/usr/share/hunspell") << QStringLiteral("/usr/share/myspell")
                      << QStringLiteral("/usr/share/myspell/dicts");
    language = QLocale::system().name();
    personalWordList = defaultPersonalWordList();
}

QString HunspellService::defaultPersonalWordList()
{
    return QFileInfo(IniSettingsStore::fileName()).dir().filePath(QStringLiteral("personal-words.dic"));
}

QString HunspellService::dictionaryFor(const QString& wanted) const
{
    auto find = [this](const QString& name) -> QString {
        for (const QString& folder : dictionaryFolders) {
            QString files = QDir(folder).filePath(name);
            if (QFileInfo::exists(files + QStringLiteral(".aff")) && QFileInfo::exists(files + QStringLiteral(".dic")))
                return files;
        }
        return QString();
    };
    // de_DE.UTF-8 and de_DE@euro name the language de_DE.
    QString name = wanted.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (!name.isEmpty() && name != QLatin1String("C") && name != QLatin1String("POSIX")) {
        if (QString files = find(name); !files.isEmpty()) return files;
        // Another country's dictionary of the same language.
        QString languageOnly = name.section(QLatin1Char('_'), 0, 0);
        for (const QString& folder : dictionaryFolders) {
            QStringList candidates = QDir(folder).entryList({languageOnly + QStringLiteral("_*.dic")}, QDir::Files, QDir::Name);
            for (const QString& dic : candidates)
                if (QString files = find(dic.chopped(4)); !files.isEmpty()) return files;
        }
        if (QString files = find(languageOnly); !files.isEmpty()) return files;
    }
    return find(QStringLiteral("en_US"));
}

std::unique_ptr<Speller> HunspellService::open(const WordListWriter& write, QString* error)
{
    QString files = dictionaryFor(language);
    if (files.isEmpty()) {
        if (error)
            *error = QStringLiteral("No spelling dictionary was found for %1 or for en_US in %2.")
                         .arg(language.isEmpty() ? QStringLiteral("the system's language") : language,
                              dictionaryFolders.join(QStringLiteral(", ")));
        return nullptr;
    }
    QFile dic(files + QStringLiteral(".dic"));
    if (!dic.open(QIODevice::ReadOnly) || !QFile(files + QStringLiteral(".aff")).open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("The spelling dictionary %1 cannot be read.").arg(files);
        return nullptr;
    }
    return std::make_unique<HunspellSpeller>(files, QFileInfo(files).fileName(), personalWordList, write);
}

SpellingService& spelling()
{
    static HunspellService own;
    return installed ? *installed : own;
}

SpellingService* install(SpellingService* service)
{
    SpellingService* before = installed;
    installed = service;
    return before;
}

}  // namespace platform
