#include "edit/StructureEdits.h"

#include "ddvue/DDVue.h"
#include "ddvue/dxf/AttributeSync.h"

#include <algorithm>

namespace edit {

namespace {

QString quoted(const QString& name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

QString counted(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Where a layer stands in the drawing's list: by its name as listed, else
// by the same name in other letter case.
qsizetype indexOfLayer(const QStringList& names, const QString& layer)
{
    const qsizetype exact = names.indexOf(layer);
    if (exact >= 0) return exact;
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i].compare(layer, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

}  // namespace

MergeTargets mergeTargets(const ddvue::DDVueEngine& engine, const QString& layer)
{
    MergeTargets targets;
    const QStringList names = engine.layerNames();
    const qsizetype self = indexOfLayer(names, layer);
    qsizetype after = -1;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i == self) continue;
        const QString why = engine.mergeLayerRefusal(layer, names[i]);
        if (!why.isEmpty()) {
            if (targets.refusal.isEmpty()) targets.refusal = why;
            continue;
        }
        if (after < 0 && i > self) after = targets.layers.size();
        targets.layers << names[i];
    }
    const qsizetype zero = targets.layers.indexOf(QStringLiteral("0"));
    targets.preferred = zero >= 0 ? zero : std::max<qsizetype>(after, 0);
    if (!targets.layers.isEmpty()) targets.refusal.clear();
    else if (targets.refusal.isEmpty())
        targets.refusal = QStringLiteral("The drawing has no other layer to merge %1 into.").arg(quoted(layer));
    return targets;
}

StructureEdit renameLayer(ddvue::DDVue& view, const QString& layer, const QString& newName)
{
    const qsizetype at = indexOfLayer(view.engine().layerNames(), layer);
    ddvue::DDVueEngine& engine = view.edit();
    if (!engine.RenameLayer(layer, newName)) return {false, engine.lastError(), {}};
    // Before 2000 the drawing stores the name in capitals: the row lists it so.
    const QString stored = engine.layerNames().value(at, newName);
    if (stored == layer) return {false, QString(), layer};  // the name it had: nothing changed
    return {true, QStringLiteral("Layer %1 renamed to %2.").arg(quoted(layer), quoted(stored)), stored};
}

StructureEdit mergeLayer(ddvue::DDVue& view, const QString& from, const QString& into)
{
    ddvue::DDVueEngine& engine = view.edit();
    if (!engine.MergeLayer(from, into)) return {false, engine.lastError(), {}};
    return {true,
            QStringLiteral("Layer %1 merged into %2: everything on it is on %2 now.").arg(quoted(from), quoted(into)),
            into};
}

StructureEdit syncAttributes(ddvue::DDVue& view, const QString& block, bool removeOrphaned)
{
    ddvue::DDVueEngine& engine = view.edit();
    ddvue::dxf::SyncCounts counts;
    if (!engine.SyncAttributes(block, removeOrphaned, &counts)) return {false, engine.lastError(), {}};
    const QString which = block.isEmpty() ? QStringLiteral("every block") : QStringLiteral("block ") + quoted(block);
    if (counts.references == 0)
        return {true,
                QStringLiteral("The references of %1 have the attributes their definitions give them: nothing changed.")
                    .arg(which),
                {}};
    QString what = counted(counts.added, "attribute added", "attributes added");
    if (removeOrphaned) what += QStringLiteral(", %1 removed").arg(counts.removed);
    return {true,
            QStringLiteral("Attributes of %1 synchronized: %2, in %3.")
                .arg(which, what, counted(counts.references, "block reference", "block references")),
            {}};
}

}  // namespace edit
