#pragma once
// Opens the grid's recordset over the flat document.

#include "data/Recordset.h"

#include <QString>

namespace extract {

// Opens `recordset` over the flat document at `flatPath`: one row per record
// of its group element, one field per element name of the records (no field
// of its own is added). Returns the number of rows (0 or more) when it is
// open, or -2 when the document cannot be read: a missing file, a document
// that is not well-formed XML, or one with no root element (a flat document
// that holds only the declaration). The reason then goes to `error`. The
// answer -1 (no means of opening the document at all) does not occur: the
// reader is part of the program.
long OpenXmlRecordset(const QString& flatPath, data::Recordset& recordset, QString* error = nullptr);

}  // namespace extract
