#include "edit/ValueEdit.h"

#include "edit/CellText.h"

#include "ddvue/ContentDocument.h"
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

std::vector<ListedObject> listedObjects(const ddvue::DDVueEngine& drawing, Category category)
{
    std::vector<ListedObject> listed;
    const ddvue::dxf::Document* doc = drawing.document();
    if (!doc) return listed;
    if (category == Category::Layers) {
        for (std::uint32_t i = 0; i < doc->layers().size(); ++i)
            if (!doc->isDeleted(doc->layers()[i].record)) listed.push_back({category, i});
        return listed;
    }
    ddvue::ListedKind kind;
    switch (category) {
    case Category::Attributes: kind = ddvue::ListedKind::Attributes; break;
    case Category::SingleText: kind = ddvue::ListedKind::Texts; break;
    case Category::MultiText: kind = ddvue::ListedKind::MultilineTexts; break;
    default: return listed;
    }
    ddvue::forEachListed(*doc, kind, [&](std::uint32_t record) { listed.push_back({category, record}); });
    return listed;
}

std::uint64_t identityOf(const ddvue::DDVueEngine& drawing, const ListedObject& object)
{
    if (object.category == Category::Layers) return object.at;
    return drawing.document()->record(object.at).handle;
}

QString listedKey(const ddvue::DDVueEngine& drawing, const ListedObject& object)
{
    const ddvue::dxf::Document& doc = *drawing.document();
    if (object.category == Category::Layers) return QString::fromStdString(doc.layers()[object.at].name);
    return QString::fromStdString(ddvue::dxf::Document::formatHandle(doc.record(object.at).handle));
}

QString listedCell(const ddvue::DDVueEngine& drawing, const ListedObject& object, int column)
{
    if (object.category != Category::Layers)
        return QString::fromStdString(ddvue::listedValue(*drawing.document(), object.at));
    std::optional<ddvue::DDVueEngine::ListedLayer> layer = drawing.listedLayer(listedKey(drawing, object));
    if (!layer) return QString();
    return column == 1 ? layer->display : QString::number(layer->color);
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
