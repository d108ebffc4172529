#include "Doubles.h"

#include <QDialog>

namespace platform {

MsgResult ScriptedMessageBoxes::show(QWidget*, const Message& message)
{
    shown.push_back(message);
    if (answers.empty()) {
        ++unexpected;
        return defaultAnswer(message);
    }
    MsgResult r = answers.front();
    answers.pop_front();
    return r;
}

int ScriptedScreenRunner::run(QDialog& screen)
{
    shown.push_back(screen.objectName());
    screen.setResult(QDialog::Rejected);
    screen.show();
    if (handlers.empty()) {
        ++unexpected;
    } else {
        auto handler = std::move(handlers.front());
        handlers.pop_front();
        handler(screen);
    }
    if (screen.isVisible()) screen.reject();
    return screen.result();
}

QString ScriptedFileDialogs::getSaveFileName(QWidget*, const SaveFileRequest& request)
{
    requests.push_back(request);
    if (answers.empty()) return QString();
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

QString MemorySettingsStore::value(const QString& key, const QString& fallback) const
{
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
}

void MemorySettingsStore::setValue(const QString& key, const QString& value) { values[key] = value; }

namespace {

class ListSpeller : public Speller {
public:
    explicit ListSpeller(WordListService& service) : service_(service) {}

    bool knows(const QString& word) const override
    {
        auto has = [this](const QString& w) { return service_.words.count(w) > 0 || service_.added.contains(w); };
        if (has(word)) return true;
        // Capitals and a capital first letter are the same word.
        QString lower = word.toLower();
        bool capitalised = word.size() > 1 && word.at(0).isUpper() && word.mid(1) == word.mid(1).toLower();
        return (word == word.toUpper() || capitalised) && has(lower);
    }

    QStringList suggestions(const QString& word) const override
    {
        auto it = service_.suggested.find(word);
        return it == service_.suggested.end() ? QStringList() : it->second;
    }

    bool addWord(const QString& word, QString* error) override
    {
        if (!service_.addFails.isEmpty()) {
            if (error) *error = service_.addFails;
            return false;
        }
        service_.added << word;
        return true;
    }

    QString language() const override { return QStringLiteral("en_US"); }

private:
    WordListService& service_;
};

}  // namespace

std::unique_ptr<Speller> WordListService::open(const WordListWriter&, QString* error)
{
    ++opened;
    if (!failure.isEmpty()) {
        if (error) *error = failure;
        return nullptr;
    }
    return std::make_unique<ListSpeller>(*this);
}

}  // namespace platform
