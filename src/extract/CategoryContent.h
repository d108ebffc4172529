#pragma once
// One category of the open drawing's content, from the drawing to the
// recordset and on to the grid's view: the content document, the flat
// document, the recordset, the column arrangement. The main window's grid
// fill and the command line's exports both go this way.

#include "extract/Categories.h"

#include "data/DataGrid.h"
#include "data/Recordset.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace ddvue {
class DDVueEngine;
}

namespace extract {

struct CategoryLoad {
    bool exported = false;  // the drawing's content was exported
    long opened = -2;       // as OpenXmlRecordset answers: the row count, or -2
    QString error;          // why it was not exported or not opened
};

// Exports the category's content of the drawing open in `engine`, flattens it
// and opens `recordset` over the flat document. Images have no content and
// leave the recordset closed. With `flat`, the flat document is kept there.
//
// The documents pass from step to step in memory: the content document as
// ExportDrawingContent writes it, normalised as NormalizeExportXml rewrites
// it, the flat document as WriteFlatXml writes it, read as OpenXmlRecordset
// reads it; the working files of those routines are never needed. Unless it
// is asked for, the flat document is not even held whole: it goes to the
// recordset piece by piece as it is made.
CategoryLoad loadCategory(const ddvue::DDVueEngine& engine, Category category, data::Recordset& recordset,
                          std::string* flat = nullptr);
// The content document of the parts a category's records come from.
std::string categoryContentDocument(const ddvue::DDVueEngine& engine, const CategorySettings& settings);
// The same from a content document already made.
CategoryLoad loadCategoryContent(const std::string& content, const CategorySettings& settings,
                                 data::Recordset& recordset, std::string* flat = nullptr);

// Why a load gave no rows to show although it should have: the content was
// not exported, or the flat document was refused. Empty when it went well.
QString loadFailure(const CategoryLoad& load);

// True when the recordset has something the grid can show: it is open and
// has a field. Otherwise the grid shows "No data".
bool hasData(const data::Recordset& recordset);

// Binds the grid to the recordset and arranges its columns for the
// category: the removals, then the widths, the locks and the "*" before each
// value column's caption. With nothing to show (hasData false) the grid shows
// "No data" instead, and the answer is false.
bool showCategory(data::DataGrid& grid, data::Recordset& recordset, Category category);

// The category's view as CSV (RFC 4180, UTF-8, CR LF line ends, a header
// row): the key field first, then the grid's columns as the category
// arranges them (but the key, which has its column already), the rows in
// view; no two columns have the same name. A value that a spreadsheet would run as
// a formula is guarded (see Csv.h). A recordset without data gives the
// header of the category's record layout alone.
std::string categoryCsv(const data::Recordset& recordset, Category category);
// The same CSV in pieces, in order, for output written as it is made; false
// when `sink` said no.
bool categoryCsv(const data::Recordset& recordset, Category category,
                 const std::function<bool(std::string_view piece)>& sink);

}  // namespace extract
