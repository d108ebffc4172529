#include "zoom/ZoomSearch.h"

namespace zoom {

namespace {

Qt::CaseSensitivity sensitivity(SearchOptions options)
{
    return options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

// 1-based position of `what` in `value` at or after the 1-based `start`; 0 when none.
int position(const QString& value, const QString& what, int start, Qt::CaseSensitivity cs)
{
    if (start < 1) start = 1;
    if (start > value.size() + 1) return 0;
    qsizetype at = value.indexOf(what, start - 1, cs);
    return at < 0 ? 0 : static_cast<int>(at) + 1;
}

bool endsWith(const QString& value, const QString& what, Qt::CaseSensitivity cs)
{
    return !what.isEmpty() && value.size() >= what.size() &&
           QStringView(value).right(what.size()).compare(what, cs) == 0;
}

}  // namespace

int locateMatch(const QString& value, const QString& find, int start, SearchOptions options)
{
    Qt::CaseSensitivity cs = sensitivity(options);
    if (!options.wholeWord) return position(value, find, start, cs);
    const QString space = QStringLiteral(" ");
    // The word at the very start, followed by a space.
    if (position(value, find + space, start, cs) == 1) return 1;
    // Between two spaces.
    if (int q = position(value, space + find + space, start, cs)) return q + 1;
    // After a space and before a period (a find text ending in a period
    // brings its own).
    const QString withPeriod = find.endsWith(QLatin1Char('.')) ? space + find : space + find + QStringLiteral(".");
    if (int q = position(value, withPeriod, start, cs)) return q + 1;
    // At the end of the value, wherever the search started.
    if (endsWith(value, find, cs)) return static_cast<int>(value.size() - find.size()) + 1;
    return 0;
}

QString replaceEvery(const QString& value, const QString& find, const QString& replacement, SearchOptions options)
{
    Qt::CaseSensitivity cs = sensitivity(options);
    QString text = value;
    if (!options.wholeWord) return text.replace(find, replacement, cs);
    const QString space = QStringLiteral(" ");
    text.replace(space + find + space, space + replacement + space, cs);
    text.replace(space + find + QStringLiteral("."), space + replacement + QStringLiteral("."), cs);
    if (text.startsWith(find + space, cs))
        text.replace(0, find.size(), replacement);
    else if (endsWith(text, find, cs))
        text.replace(text.size() - find.size(), find.size(), replacement);
    return text;
}

QString boxText(SearchOutcome::Box box)
{
    switch (box) {
    case SearchOutcome::Box::None: return QString();
    case SearchOutcome::Box::EnterFindText: return QStringLiteral("Enter text to find.");
    case SearchOutcome::Box::EnterReplacement: return QStringLiteral("Enter replacement text.");
    case SearchOutcome::Box::NoSelection: return QStringLiteral("No text selected to replace.");
    }
    return QString();
}

SearchOutcome ZoomSearch::locate(EditorText& text, const QString& find, int start, SearchOptions options)
{
    SearchOutcome out;
    if (find.isEmpty()) {
        out.box = SearchOutcome::Box::EnterFindText;
        out.focus = SearchOutcome::Focus::FindWhat;
        return out;
    }
    int p = locateMatch(text.value, find, start, options);
    if (p == 0) {
        out.label = QStringLiteral("Text not found.");
        findStart_ = 1;
        return out;
    }
    out.label = QStringLiteral("Text found at position %1.").arg(p);
    out.focus = SearchOutcome::Focus::Value;
    text.selectionStart = p - 1;
    text.selectionLength = static_cast<int>(find.size());
    out.selectionChanged = true;
    // One past the end of the match, plus one more: an occurrence right
    // after this one is passed over.
    findStart_ = p + static_cast<int>(find.size()) + 1;
    return out;
}

SearchOutcome ZoomSearch::findFirst(EditorText& text, const QString& find, SearchOptions options)
{
    return locate(text, find, 1, options);
}

SearchOutcome ZoomSearch::findNext(EditorText& text, const QString& find, SearchOptions options)
{
    return locate(text, find, findStart_, options);
}

SearchOutcome ZoomSearch::replace(EditorText& text, const QString& find, const QString& replacement,
                                  SearchOptions options)
{
    SearchOutcome out;
    if (replacement.isEmpty()) {
        out.box = SearchOutcome::Box::EnterReplacement;
        out.focus = SearchOutcome::Focus::ReplaceWith;
        return out;
    }
    QString selected = text.selectedText();
    if (selected.isEmpty()) {
        out.box = SearchOutcome::Box::NoSelection;
        return out;
    }
    if (selected.compare(find, sensitivity(options)) != 0) return out;
    text.value.replace(text.selectionStart, text.selectionLength, replacement);
    text.selectionStart += static_cast<int>(replacement.size());
    text.selectionLength = 0;
    // Find Next overwrites the label with its own result; where it starts
    // is not moved for the difference in length.
    SearchOutcome next = findNext(text, find, options);
    next.textChanged = true;
    next.selectionChanged = true;
    return next;
}

SearchOutcome ZoomSearch::replaceAll(EditorText& text, const QString& find, const QString& replacement,
                                     SearchOptions options)
{
    SearchOutcome out;
    if (find.isEmpty()) {
        out.box = SearchOutcome::Box::EnterFindText;
        out.focus = SearchOutcome::Focus::FindWhat;
        return out;
    }
    if (replacement.isEmpty()) {
        out.box = SearchOutcome::Box::EnterReplacement;
        out.focus = SearchOutcome::Focus::ReplaceWith;
        return out;
    }
    QString before = text.value;
    QString after = replaceEvery(before, find, replacement, options);
    if (after == before) {
        out.label = QStringLiteral("Text not found.");
        return out;
    }
    text.value = after;
    text.selectionStart = 0;
    text.selectionLength = 0;
    out.textChanged = true;
    out.label = QStringLiteral("Text found and replaced.");
    return out;
}

}  // namespace zoom
