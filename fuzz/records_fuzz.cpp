// The XML record reader on arbitrary bytes: it refuses or reads, never
// crashes; and reading the same bytes in two pieces, cut where the input's
// first byte says, gives the same answer and the same table.

#include "data/XmlRecords.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::size_t cut = data[0] % size;
    QByteArrayView doc(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    data::RecordTable whole;
    const bool ok = data::readXmlRecords(doc, whole);

    data::RecordTable pieces;
    data::XmlRecordReader reader(pieces);
    bool okPieces = reader.feed(doc.first(static_cast<qsizetype>(std::min(cut, size - 1))), false);
    okPieces = reader.feed(doc.sliced(static_cast<qsizetype>(std::min(cut, size - 1))), true) && okPieces;

    if (ok != okPieces) std::abort();
    if (!ok) return 0;
    if (whole.fieldNames() != pieces.fieldNames() || whole.rowCount() != pieces.rowCount()) std::abort();
    for (qsizetype r = 0; r < whole.rowCount(); ++r)
        for (int f = 0; f < whole.fieldCount(); ++f)
            if (whole.value(r, f) != pieces.value(r, f)) std::abort();
    return 0;
}
