#include "zoom/ZoomSearch.h"

#include "edit/CellText.h"

namespace zoom {

namespace {

Qt::CaseSensitivity sensitivity(SearchOptions options)
{
    return options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

}  // namespace

int locateMatch(const QString& value, const QString& find, int start, SearchOptions options)
{
    Qt::CaseSensitivity cs = sensitivity(options);
    if (!options.wholeWord) return edit::findIn(value, find, start, cs);
    std::optional<edit::WordMatch> match = edit::findWholeWord(value, find, start, cs);
    return match ? match->position : 0;
}

QString replaceEvery(const QString& value, const QString& find, const QString& replacement, SearchOptions options)
{
    Qt::CaseSensitivity cs = sensitivity(options);
    return options.wholeWord ? edit::replaceWholeWords(value, find, replacement, cs)
                             : edit::replaceIn(value, find, replacement, cs);
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
