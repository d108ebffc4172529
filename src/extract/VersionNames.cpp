#include "extract/VersionNames.h"

namespace extract {

QString DrawingVersionNameForCode(long code)
{
    static const char* const names[] = {
        "v0.0", "v1.2", "v1.4", "v1.5", "v2.1",   "v2.5",   "v2.6",  "R9",    "R10",   "R11",   "R12",
        "R13",  "R14",  "v2000", "v2000i", "v2002", "v2004", "v2005", "v2007", "v2010", "v2013", "v2018",
    };
    if (code < 0 || code >= static_cast<long>(std::size(names))) return QString();
    return QString::fromLatin1(names[code]);
}

}  // namespace extract
