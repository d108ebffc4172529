#include "filter/RecordFilter.h"

#include "data/Recordset.h"
#include "platform/Messages.h"

namespace filter {

namespace {

void tell(const QString& text, platform::MsgIcon icon, QWidget* parent)
{
    platform::msgBox(text, platform::MsgButtons::Ok, icon, platform::programTitle(), 0, parent);
}

}  // namespace

QStringList filterFields(std::optional<extract::Category> category)
{
    using extract::Category;
    if (!category || (*category != Category::Attributes && *category != Category::SingleText &&
                      *category != Category::MultiText && *category != Category::Layers))
        return {};
    const QStringList& fields = extract::recordFields(*category);
    QStringList shown;
    for (int field : extract::arrangedFields(static_cast<int>(fields.size()), *category)) shown << fields[field];
    return shown;
}

QString filterHelpText(std::optional<extract::Category> category)
{
    const QStringList lines = {
        QString(),
        QStringLiteral("   Format: [field1] = <> LIKE [value1] AND|OR [field2] = <> LIKE [value2] AND|OR..."),
        QString(),
        QStringLiteral("   Examples:"),
        QString(),
        QStringLiteral("   AttributeValue LIKE '*school*' AND LayerName LIKE 'x*'"),
        QStringLiteral("   (Explanation: Field AttributeValue contains 'school' and field LayerName begins with an 'x')"),
        QString(),
        QStringLiteral("   Block = 'BlockA' OR Block LIKE 's*'"),
        QStringLiteral("   (Explanation: Field Block is equal to 'BlockA' or field Block begins with an 's')"),
        QString(),
        QStringLiteral("   AttributeTag <> 'TITLE_1' AND Block <> 'BlockA'"),
        QStringLiteral("   (Explanation: Field AttributeTag is not equal to 'TITLE_1' and field Block is not equal to "
                       "'BlockA')"),
        QString(),
        QStringLiteral("   Available Fields: ") + filterFields(category).join(QStringLiteral(", ")),
    };
    return lines.join(QStringLiteral("\r\n"));
}

FilterOutcome applyFilter(FilterHost& host, const QString& typed, QWidget* parent)
{
    const QString text = typed.trimmed();
    if (text.compare(host.currentFilter(), Qt::CaseInsensitive) == 0) return FilterOutcome::Unchanged;

    if (!host.offerToSave()) return FilterOutcome::Cancelled;
    auto refill = [&] { host.fillGrid(); };

    host.setCurrentFilter(text);
    if (text.isEmpty()) {
        refill();
        tell(QStringLiteral("Filter cleared."), platform::MsgIcon::Information, parent);
        return FilterOutcome::Cleared;
    }

    data::Recordset* rs = host.recordset();
    bool rejected = rs == nullptr;
    if (rs) {
        try {
            rs->setFilter(text);
        } catch (const data::RecordsetError&) {
            rejected = true;
        }
    }
    if (rejected) {
        // The filter shown from now on is the one the recordset keeps.
        host.setCurrentFilter(rs ? rs->Filter() : QString());
        tell(QStringLiteral("Invalid filter."), platform::MsgIcon::Exclamation, parent);
        return FilterOutcome::Invalid;
    }

    tell(QStringLiteral("Filter set."), platform::MsgIcon::Information, parent);
    if (rs->RecordCount() == 0) {
        host.setCurrentFilter(QString());
        tell(QStringLiteral("Filter produced no records."), platform::MsgIcon::Exclamation, parent);
        refill();
        return FilterOutcome::NoRecords;
    }
    return FilterOutcome::Set;
}

bool reapplyFilter(data::Recordset& recordset, const QString& filter)
{
    try {
        recordset.setFilter(filter);
        if (recordset.RecordCount() > 0) return true;
        recordset.setFilter(QString());
    } catch (const data::RecordsetError&) {
        try {
            recordset.setFilter(QString());
        } catch (const data::RecordsetError&) {
        }
    }
    return false;
}

bool mayClearFilter(FilterHost& host, QWidget* parent)
{
    data::Recordset* rs = host.recordset();
    if (rs && !rs->Filter().isEmpty()) return true;
    tell(QStringLiteral("No active filter."), platform::MsgIcon::Information, parent);
    return false;
}

}  // namespace filter
