#pragma once

#include <QString>

namespace extract {

// The name of a drawing version code, as the file information line shows it
// ("R14", "v2004", "v2018"); "" for a code outside the table.
QString DrawingVersionNameForCode(long code);

}  // namespace extract
