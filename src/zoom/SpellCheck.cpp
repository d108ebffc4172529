#include "zoom/SpellCheck.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"

#include <algorithm>
#include <cstring>
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
// starts there. `unclosed` is set when a formatting code that ends with a
// semicolon finds none after it (and is taken as a backslash alone).
int separatingCode(QStringView t, int i, bool& unclosed)
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
        unclosed = true;
        return 1;  // not a code after all: the backslash alone
    }
    if (in(d, "PNXLlOoKk~\\{}")) return 2;
    return 1;
}

// One step of reading `t` from `i`, where a run may begin: a separating code
// is passed over, or the run of text that starts there is read and its words
// are added to `words`, when nothing in it says it is not prose. Returns
// where the step ends; `run` tells whether it read a run.
int readStep(QStringView t, int i, std::vector<WordSpan>& words, bool& run, bool& unclosed)
{
    const int n = static_cast<int>(t.size());
    run = false;
    if (int skip = separatingCode(t, i, unclosed)) return i + skip;
    run = true;
    const std::size_t first = words.size();
    bool notProse = false;
    while (i < n && separatingCode(t, i, unclosed) == 0) {
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
        while (i < n && (isLetter(t.at(i)) || (isApostrophe(t.at(i)) && i + 1 < n && isLetter(t.at(i + 1))))) ++i;
        words.push_back({start, i - start});
    }
    if (notProse) {
        words.resize(first);
        return i;
    }
    // A handle written in capitals, such as 1F or ABCD, has only the letters
    // A to F.
    auto handle = [&](const WordSpan& w) {
        QStringView word = t.mid(w.start, w.length);
        if (word.size() < 2) return false;
        for (QChar c : word)
            if (c < QLatin1Char('A') || c > QLatin1Char('F')) return false;
        return true;
    };
    words.erase(std::remove_if(words.begin() + static_cast<std::ptrdiff_t>(first), words.end(), handle), words.end());
    return i;
}

}  // namespace

std::optional<WordSpan> nextWord(const QString& text, int from)
{
    std::vector<WordSpan> words;
    bool run = false, unclosed = false;
    for (int i = 0; i < text.size();) {
        words.clear();
        i = readStep(text, i, words, run, unclosed);
        for (const WordSpan& w : words)
            if (w.start >= from) return w;
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ GapText

GapText::GapText(QString text) : buffer_(std::move(text)) {}

QString GapText::mid(int from, int length) const
{
    from = std::clamp(from, 0, size());
    length = std::clamp(length, 0, size() - from);
    if (from + length <= gapStart_) return buffer_.mid(from, length);
    if (from >= gapStart_) return buffer_.mid(from + gapLength(), length);
    QString out = buffer_.mid(from, gapStart_ - from);
    out.append(QStringView(buffer_).mid(gapEnd_, from + length - gapStart_));
    return out;
}

QString GapText::toString() const
{
    if (gapLength() == 0) return buffer_;
    QString out = buffer_.left(gapStart_);
    out.append(QStringView(buffer_).mid(gapEnd_));
    return out;
}

void GapText::moveGapTo(int position)
{
    QChar* b = buffer_.data();
    if (position > gapStart_) {
        const int count = position - gapStart_;
        std::memmove(b + gapStart_, b + gapEnd_, sizeof(QChar) * static_cast<std::size_t>(count));
        gapStart_ += count;
        gapEnd_ += count;
    } else if (position < gapStart_) {
        const int count = gapStart_ - position;
        std::memmove(b + gapEnd_ - count, b + position, sizeof(QChar) * static_cast<std::size_t>(count));
        gapStart_ -= count;
        gapEnd_ -= count;
    }
}

void GapText::replace(int keepFrom, int start, int length, QStringView replacement)
{
    moveGapTo(keepFrom);
    // The text from the gap to the word moves so that it ends where the
    // replacement begins; the replacement ends where the word ended.
    const int before = start - keepFrom;
    const int added = static_cast<int>(replacement.size());
    int to = gapEnd_ + length - added;
    if (to < gapStart_) {
        // The gap grows by half the text at least, so that it grows seldom.
        const int grow = std::max(gapStart_ - to, static_cast<int>(buffer_.size()) / 2 + 16);
        buffer_.insert(gapStart_, QString(grow, QChar()));
        gapEnd_ += grow;
        to += grow;
    }
    QChar* b = buffer_.data();
    std::memmove(b + to, b + gapEnd_, sizeof(QChar) * static_cast<std::size_t>(before));
    std::copy(replacement.begin(), replacement.end(), b + to + before);
    gapEnd_ = to;
}

// --------------------------------------------------------------- SpellCheck

SpellCheck::SpellCheck(QString text, platform::Speller& speller) : text_(std::move(text)), speller_(speller) {}

std::optional<WordSpan> SpellCheck::wordFrom(int from)
{
    for (;;) {
        while (nextRunWord_ < runWords_.size()) {
            WordSpan w = runWords_[nextRunWord_++];
            if (w.start >= from) return w;
        }
        if (readAt_ >= text_.size()) return std::nullopt;
        runWords_.clear();
        nextRunWord_ = 0;
        const int base = text_.tailStart();
        bool run = false, unclosed = false;
        const int end = base + readStep(text_.tail(), readAt_ - base, runWords_, run, unclosed);
        for (WordSpan& w : runWords_) w.start += base;
        if (unclosed && unclosedCode_ < 0) unclosedCode_ = readAt_;
        if (run) {
            runReadFrom_ = lastRunEnd_;
            lastRunEnd_ = end;
        }
        readAt_ = end;
    }
}

bool SpellCheck::next()
{
    current_.reset();
    while (std::optional<WordSpan> w = wordFrom(position_)) {
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
    position_ = text_.size();
    return false;
}

QString SpellCheck::word() const { return current_ ? text_.mid(current_->start, current_->length) : QString(); }

QString SpellCheck::context(WordSpan* wordInContext) const
{
    if (!current_) return QString();
    const int limit = 120;  // characters either side, for very long lines
    const int start = current_->start, end = current_->start + current_->length, n = text_.size();
    // The line's ends, looked for no farther than the context reaches.
    int from = start;
    while (from > 0 && start - from < limit && text_.at(from - 1) != QLatin1Char('\n')) --from;
    int to = end;
    while (to < n && to - end < limit && text_.at(to) != QLatin1Char('\n')) ++to;
    QString before = from > 0 && text_.at(from - 1) != QLatin1Char('\n') ? QStringLiteral("\u2026") : QString();
    QString after = to < n && text_.at(to) != QLatin1Char('\n') ? QStringLiteral("\u2026") : QString();
    if (wordInContext) *wordInContext = {static_cast<int>(before.size()) + start - from, current_->length};
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
    // The change can only change how its own run reads (and, with a
    // semicolon, a formatting code before it that had none): the text is
    // read again from the end of the run before.
    int readFrom = runReadFrom_;
    if (unclosedCode_ >= 0 && unclosedCode_ < readFrom && replacement.contains(QLatin1Char(';'))) readFrom = 0;
    text_.replace(readFrom, start, length, replacement);
    if (unclosedCode_ >= readFrom) unclosedCode_ = -1;
    readAt_ = lastRunEnd_ = runReadFrom_ = readFrom;
    runWords_.clear();
    nextRunWord_ = 0;
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
