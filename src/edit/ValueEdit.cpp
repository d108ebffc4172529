#include "edit/ValueEdit.h"

#include "edit/CellText.h"

#include "ddvue/DDVueEngine.h"

namespace edit {

using extract::Category;

namespace {

// Trims spaces, not other blanks, as the layers view's column choice does.
QString trimSpaces(const QString& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && text[from] == QLatin1Char(' ')) ++from;
    while (to > from && text[to - 1] == QLatin1Char(' ')) --to;
    return text.mid(from, to - from);
}

}  // namespace

WriteResult writeValue(ddvue::DDVueEngine& drawing, Category category, int column, const QString& key,
                       const QString& value)
{
    WriteResult result;
    const ddvue::DDVueEngine& engine = drawing;
    QString text = value;
    bool ok = false;
    std::optional<QString> holds;
    switch (category) {
    case Category::Attributes:
    case Category::SingleText:
    case Category::MultiText:
        // Every other column of these views is locked: only the value goes back.
        if (column != extract::categorySettings(category)->valueColumn) return result;
        if (category == Category::Attributes) ok = drawing.SetAttributeValue(text, key);
        else ok = drawing.SetTextValue(key, text);
        if (ok) holds = engine.listedValue(key);
        break;
    case Category::Layers:
        if (column == 1 || column == 2) {
            std::optional<QString> entry = layerEntry(column, value, &result.error);
            if (!entry) {
                result.status = WriteResult::Status::Rejected;
                return result;
            }
            text = *entry;
            if (column == 1) {
                ok = drawing.SetLayerDisplay(key, text);
                if (ok)
                    if (auto layer = engine.listedLayer(key)) holds = layer->display;
            } else {
                ok = drawing.SetLayerColor(key, text.toLong());
                if (ok)
                    if (auto layer = engine.listedLayer(key)) holds = QString::number(layer->color);
            }
        } else {
            return result;
        }
        break;
    case Category::ExternalReferences:
    case Category::Images: return result;
    }
    if (!ok) {
        result.status = WriteResult::Status::Failed;
        result.error = engine.lastError();
        if (result.error.isEmpty()) result.error = QStringLiteral("The drawing refused the change.");
        return result;
    }
    result.status = WriteResult::Status::Written;
    result.shown = holds ? *holds : text;
    return result;
}

std::optional<QString> layerEntry(int column, const QString& value, QString* why)
{
    QString reason;
    if (column == 1) {
        QString display = properCase(value);
        if (display == QLatin1String("On") || display == QLatin1String("Off")) return display;
        reason = QStringLiteral("A layer is either On or Off, not \"%1\".").arg(value);
    } else if (column == 2) {
        if (std::optional<long> color = layerColorOf(value)) return QString::number(*color);
        reason = QStringLiteral("A layer color is a number from 1 to 255, not \"%1\".").arg(value);
    } else {
        reason = QStringLiteral("The layers view has no column %1 to write.").arg(column);
    }
    if (why) *why = reason;
    return std::nullopt;
}

short searchColumn(Category category, const QString& find, bool blankIsDisplay, short current)
{
    if (category != Category::Layers) return current;
    if (blankIsDisplay && trimSpaces(find).isEmpty()) return 1;
    return isNumeric(find) ? 2 : 1;
}

ReplaceAllRule::ReplaceAllRule(const SearchText& search)
    : find_(search.find),
      with_(search.find.isEmpty() && search.replace.isEmpty() ? QStringLiteral(" ") : search.replace),
      cs_(search.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
      wholeWord_(search.wholeWord)
{
}

QString ReplaceAllRule::apply(const QString& before) const
{
    if (find_.isEmpty()) return with_;
    if (wholeWord_) return replaceWholeWords(before, find_, with_, cs_);
    return replaceIn(before, find_, with_, cs_);
}

}  // namespace edit
