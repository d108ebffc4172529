#include "zoom/SpellCheck.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"

#include <vector>

namespace zoom {

platform::WordListWriter wordListWriter()
{
    return [](const QString& path, const QByteArray& content, QString& why) {
        std::string error;
        if (ddvue::writeFileAtomically(ddvue::encodeFileName(path), std::string_view(content.constData(), static_cast<std::size_t>(content.size())),
                                       error))
            return true;
        why = QString::fromLocal8Bit(error);
        return false;
    };
}

namespace {

bool isLetter(QChar c) { return c.isLetter() || c.isMark(); }
bool isApostrophe(QChar c) { return c == QLatin1Char('\'') || c == QChar(0x2019); }
bool in(QChar c, const char* set)
{
    for (const char* p = set; *p; ++p)
        if (c == QLatin1Char(*p)) return true;
    return false;
}

// The length of the code that starts at `i` and separates words (a
// formatting code, a special character, a caret character), 0 when none
// starts there.
int separatingCode(const QString& t, int i)
{
    const int n = static_cast<int>(t.size());
    QChar c = t.at(i);
    if (c.isSpace() || c == QLatin1Char('{') || c == QLatin1Char('}')) return 1;
    if (c == QLatin1Char('^') && i + 1 < n) return 2;
    if (c == QLatin1Char('%') && i + 2 < n && t.at(i + 1) == QLatin1Char('%')) {
        QChar d = t.at(i + 2);
        if (in(d, "cdpuokCDPUOK")) return 3;
        if (d.isDigit()) {
            int k = i + 2;
            while (k < n && k < i + 5 && t.at(k).isDigit()) ++k;
            return k - i;
        }
        return 0;
    }
    if (c != QLatin1Char('\\')) return 0;
    if (i + 1 >= n) return 1;
    QChar d = t.at(i + 1);
    if (in(d, "UM") && i + 2 < n && t.at(i + 2) == QLatin1Char('+')) return 0;  // a character, written as a code
    if (in(d, "ACcFfHQTWpS")) {
        qsizetype semicolon = t.indexOf(QLatin1Char(';'), i + 2);
        if (semicolon >= 0) return static_cast<int>(semicolon) - i + 1;
        return 1;  // not a code after all: the backslash alone
    }
    if (in(d, "PNXLlOoKk~\\{}")) return 2;
    return 1;
}

// The words of the text a spelling check looks at.
std::vector<WordSpan> checkableWords(const QString& t)
{
    std::vector<WordSpan> words;
    const int n = static_cast<int>(t.size());
    int i = 0;
    while (i < n) {
        if (int skip = separatingCode(t, i)) {
            i += skip;
            continue;
        }
        // A run of text between separators: its words count only when
        // nothing in it says it is not prose.
        std::vector<WordSpan> found;
        bool notProse = false;
        while (i < n && separatingCode(t, i) == 0) {
            QChar c = t.at(i);
            if (c == QLatin1Char('\\')) {  // \U+XXXX or \M+NXXXX
                notProse = true;
                i += 3;
                continue;
            }
            if (c.isDigit() || c == QLatin1Char('@') || (c == QLatin1Char(':') && t.mid(i, 3) == QLatin1String("://")))
                notProse = true;
            if (!isLetter(c)) {
                ++i;
                continue;
            }
            int start = i;
            while (i < n && (isLetter(t.at(i)) || (isApostrophe(t.at(i)) && i + 1 < n && isLetter(t.at(i + 1)))))
                ++i;
            found.push_back({start, i - start});
        }
        if (notProse) continue;
        for (const WordSpan& w : found) {
            // A handle written in capitals, such as 1F or ABCD, has only the
            // letters A to F.
            QStringView word = QStringView(t).mid(w.start, w.length);
            bool handle = word.size() > 1;
            for (QChar c : word)
                if (c < QLatin1Char('A') || c > QLatin1Char('F')) handle = false;
            if (!handle) words.push_back(w);
        }
    }
    return words;
}

}  // namespace

std::optional<WordSpan> nextWord(const QString& text, int from)
{
    for (const WordSpan& w : checkableWords(text))
        if (w.start >= from) return w;
    return std::nullopt;
}

SpellCheck::SpellCheck(QString text, platform::Speller& speller) : text_(std::move(text)), speller_(speller) {}

bool SpellCheck::next()
{
    current_.reset();
    while (std::optional<WordSpan> w = nextWord(text_, position_)) {
        QString word = text_.mid(w->start, w->length);
        if (auto it = changeAll_.find(word); it != changeAll_.end()) {
            current_ = w;
            replaceCurrent(it->second);
            current_.reset();
            continue;
        }
        position_ = w->start + w->length;
        if (ignored_.count(word) || speller_.knows(word)) continue;
        current_ = w;
        return true;
    }
    position_ = static_cast<int>(text_.size());
    return false;
}

QString SpellCheck::word() const { return current_ ? text_.mid(current_->start, current_->length) : QString(); }

QString SpellCheck::context(WordSpan* wordInContext) const
{
    if (!current_) return QString();
    const int limit = 120;  // characters either side, for very long lines
    qsizetype lineStart = text_.lastIndexOf(QLatin1Char('\n'), current_->start - 1) + 1;
    if (current_->start == 0) lineStart = 0;
    qsizetype lineEnd = text_.indexOf(QLatin1Char('\n'), current_->start + current_->length);
    if (lineEnd < 0) lineEnd = text_.size();
    qsizetype from = std::max<qsizetype>(lineStart, current_->start - limit);
    qsizetype to = std::min<qsizetype>(lineEnd, current_->start + current_->length + limit);
    QString before = from > lineStart ? QStringLiteral("\u2026") : QString();
    QString after = to < lineEnd ? QStringLiteral("\u2026") : QString();
    if (wordInContext) *wordInContext = {static_cast<int>(before.size() + current_->start - from), current_->length};
    return before + text_.mid(from, to - from) + after;
}

QStringList SpellCheck::suggestions() const { return current_ ? speller_.suggestions(word()) : QStringList(); }

void SpellCheck::replaceCurrent(const QString& replacement)
{
    if (!current_) return;
    int start = current_->start, length = current_->length;
    if (text_.mid(start, length) != replacement) changed_ = true;
    if (replacement.isEmpty()) {
        // The word goes with one of the spaces around it.
        if (start > 0 && text_.at(start - 1) == QLatin1Char(' ')) {
            --start;
            ++length;
        } else if (start + length < text_.size() && text_.at(start + length) == QLatin1Char(' ')) {
            ++length;
        }
    }
    text_.replace(start, length, replacement);
    position_ = start + static_cast<int>(replacement.size());
}

void SpellCheck::change(const QString& replacement)
{
    replaceCurrent(replacement);
    next();
}

void SpellCheck::changeAll(const QString& replacement)
{
    if (current_) changeAll_[word()] = replacement;
    change(replacement);
}

void SpellCheck::ignore() { next(); }

void SpellCheck::ignoreAll()
{
    if (current_) ignored_.insert(word());
    next();
}

bool SpellCheck::add(QString* error)
{
    bool kept = true;
    if (current_) {
        QString w = word();
        ignored_.insert(w);
        kept = speller_.addWord(w, error);
    }
    next();
    return kept;
}

}  // namespace zoom
