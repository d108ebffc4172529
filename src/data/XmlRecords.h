#pragma once
// Reads an XML document of records into a table: every child element of the
// root is a row; every child element of a row is a field, named by its
// element name; its value is all the character data inside it, with every
// entity and character reference decoded (so "&#20013;" comes back as the
// character itself). Fields are the union of the rows' element names in the
// order they first appear; a row without one of them has "" there, and an
// element repeated within one row keeps its first value. Text that stands
// directly in the root or in a row, and attributes, are not data.
//
// The reader checks that the document is well-formed XML (one root element,
// matching tags, valid names, characters and references) and refuses it
// otherwise. Encodings: UTF-8 (the default), ISO-8859-1 and US-ASCII, as the
// declaration names them. A document type declaration is skipped; entities
// declared in it are not known.

#include "data/RecordTable.h"

#include <QByteArrayView>

#include <memory>

namespace data {

// False, with the reason in `error`, when the document is not well-formed or
// has no root element; `table` is then left empty.
bool readXmlRecords(QByteArrayView xml, RecordTable& table, QString* error = nullptr);

// The same reading for a document that arrives in pieces, so that a large one
// need not be held whole: each piece is read as far as it goes, and what is
// cut off at its end waits for the next.
class XmlRecordReader {
public:
    explicit XmlRecordReader(RecordTable& table);
    ~XmlRecordReader();
    XmlRecordReader(const XmlRecordReader&) = delete;
    XmlRecordReader& operator=(const XmlRecordReader&) = delete;

    // Reads the next piece; `last` tells that the document ends with it.
    // False once the document has proved malformed (the table is then
    // emptied and error() says why); later pieces are then ignored.
    bool feed(QByteArrayView piece, bool last);
    const QString& error() const;

    // Sets room aside for about `characters` of text in the table.
    void expectText(std::size_t characters);

private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

}  // namespace data
