#include "extract/XmlRecordset.h"

namespace extract {

long OpenXmlRecordset(const QString& flatPath, data::Recordset& recordset, QString* error)
{
    if (!recordset.openXmlFile(flatPath, error)) return -2;
    return recordset.RecordCount();
}

}  // namespace extract
