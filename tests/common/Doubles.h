#pragma once
// Stand-ins for the platform's seams, so that no test waits for a person:
// message boxes, modal screens and file dialogs answered from a queue,
// settings kept in memory, a shell opener that only records, spellers over a
// fixed word list. The tests, the benchmarks and the tutorial's picture
// taker use them; the program never does. Installed puts one in place for
// the life of a scope, and the one before back afterwards:
//
//     platform::ScriptedMessageBoxes boxes;
//     platform::Installed guard(boxes);

#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/Screens.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/Spelling.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <type_traits>
#include <vector>

namespace platform {

// Answers from a queue and records every box shown. With the queue empty it
// answers the default button and counts the box as unexpected.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    MsgResult show(QWidget* parent, const Message& message) override;
    std::deque<MsgResult> answers;
    std::vector<Message> shown;
    int unexpected = 0;
};

// Shows the screen without waiting and hands it to the next handler of the
// queue, which works it as a person would; a screen still open afterwards is
// rejected (as if closed). With the queue empty the screen is rejected at
// once and counted as unexpected. Records the object name of every screen.
class ScriptedScreenRunner : public ScreenRunner {
public:
    int run(QDialog& screen) override;
    std::deque<std::function<void(QDialog&)>> handlers;
    std::vector<QString> shown;
    int unexpected = 0;
};

// Answers from a queue ("" once it is empty) and records every request.
class ScriptedFileDialogs : public FileDialogs {
public:
    QString getSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
    std::deque<QString> answers;
    std::vector<SaveFileRequest> requests;
};

// A settings store in memory.
class MemorySettingsStore : public SettingsStore {
public:
    QString value(const QString& key, const QString& fallback = QString()) const override;
    void setValue(const QString& key, const QString& value) override;
    std::map<QString, QString> values;
};

// Records what it is asked to open and answers `result`.
class RecordingShellOpener : public ShellOpener {
public:
    bool openUrl(const QUrl& url) override
    {
        opened.push_back(url);
        return result;
    }
    std::vector<QUrl> opened;
    bool result = true;
};

// Spellers over a fixed list of words: a word is known as written, or in
// lower case when it is written in capitals or capitalised. Words added go
// into `added` (and are known from then on); with `addFails` set, adding
// fails with that reason. With `failure` set, open() fails with it.
class WordListService : public SpellingService {
public:
    std::unique_ptr<Speller> open(const WordListWriter& write, QString* error = nullptr) override;
    std::set<QString> words;
    std::map<QString, QStringList> suggested;  // what suggestions() gives for a word
    QStringList added;
    QString addFails;
    QString failure;
    int opened = 0;
};

template <typename Seam>
class Installed {
public:
    explicit Installed(Seam& replacement) : before_(install(&replacement)) {}
    ~Installed() { install(before_); }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    Seam* before_;
};

template <typename T>
Installed(T&) -> Installed<std::conditional_t<std::is_base_of_v<MessageBoxes, T>, MessageBoxes,
                           std::conditional_t<std::is_base_of_v<FileDialogs, T>, FileDialogs,
                           std::conditional_t<std::is_base_of_v<ScreenRunner, T>, ScreenRunner,
                           std::conditional_t<std::is_base_of_v<SettingsStore, T>, SettingsStore,
                           std::conditional_t<std::is_base_of_v<SpellingService, T>, SpellingService,
                                              ShellOpener>>>>>>;

}  // namespace platform
