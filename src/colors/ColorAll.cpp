#include "colors/ColorAll.h"

namespace colors {

ColoringResult colorRows(data::Recordset& recordset, const QString& keyField, long color, bool allRows,
                         const std::function<bool(const QString& handle, long color, QString* error)>& setColor)
{
    ColoringResult result;
    auto one = [&](const QString& handle) {
        QString why;
        if (setColor(handle, color, &why)) {
            ++result.colored;
        } else {
            if (result.failed++ == 0) result.firstError = why;
        }
    };
    const int field = recordset.fieldIndex(keyField);
    if (!recordset.isOpen() || field < 0) {
        result.failed = 1;
        result.firstError = QStringLiteral("The list has no field %1.").arg(keyField);
        return result;
    }
    if (!allRows) {
        int row = recordset.currentRow();
        if (row < 0) {
            result.failed = 1;
            result.firstError = QStringLiteral("No row is chosen.");
            return result;
        }
        one(recordset.cell(row, field).toString());
        return result;
    }
    // Every row in view, read in place: moving the current record through
    // them one by one would move the grid along with it, and it would have
    // to come back to the same row at the end anyway.
    const int rows = recordset.rowCount();
    for (int row = 0; row < rows; ++row) one(recordset.cell(row, field).toString());
    return result;
}

}  // namespace colors
