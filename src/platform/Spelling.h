#pragma once
// The spelling dictionary: whether a word is spelt right, what it might be
// instead, and a personal word list that the user adds to. The program opens
// the dictionary through the installed SpellingService, so that a test can
// put a word list of its own in place of the system's dictionaries.
//
// The program's own service uses Hunspell with the dictionary of the user's
// language (from the locale, for example de_DE), or with the American English
// dictionary (Debian package hunspell-en-us) when there is none for the
// language. The personal word list is a file in the user's configuration
// folder, one word a line, in UTF-8; the caller that opens a speller says how
// it is written (the program writes every file through one safe routine).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace platform {

// Writes the personal word list: `content` becomes the whole file at `path`,
// which is replaced only once every byte is written. False, with the reason
// in `why`, when it could not be written.
using WordListWriter = std::function<bool(const QString& path, const QByteArray& content, QString& why)>;

class Speller {
public:
    virtual ~Speller() = default;
    virtual bool knows(const QString& word) const = 0;
    // Words the misspelt `word` may have been meant as, the likeliest first.
    virtual QStringList suggestions(const QString& word) const = 0;
    // Learns a word and keeps it in the personal word list. False, with the
    // reason in `error`, when the list cannot be written (the word is then
    // known for as long as this speller lives).
    virtual bool addWord(const QString& word, QString* error = nullptr) = 0;
    // The dictionary's language, as a locale name (en_US).
    virtual QString language() const = 0;
};

class SpellingService {
public:
    virtual ~SpellingService() = default;
    // The speller for the user's language, which keeps the words it learns
    // through `write`; nullptr, with the reason in `error`, when no
    // dictionary can be loaded.
    virtual std::unique_ptr<Speller> open(const WordListWriter& write, QString* error = nullptr) = 0;
};

// Hunspell with the system's dictionaries.
class HunspellService : public SpellingService {
public:
    HunspellService();
    std::unique_ptr<Speller> open(const WordListWriter& write, QString* error = nullptr) override;

    // Where dictionaries are looked for, in order: the folders of the
    // DICPATH variable, then the system's Hunspell and MySpell folders.
    QStringList dictionaryFolders;
    // The language wanted; the system locale's name (de_DE) by default.
    QString language;
    // The personal word list; in the user's configuration folder by default.
    QString personalWordList;

    // The dictionary files (.aff and .dic, without their endings) that
    // open() would load for `language`: that language's, else its
    // language's first (de for de_CH: de_DE), else en_US. Empty when none.
    QString dictionaryFor(const QString& language) const;
    static QString defaultPersonalWordList();
};

SpellingService& spelling();
SpellingService* install(SpellingService* service);

}  // namespace platform
