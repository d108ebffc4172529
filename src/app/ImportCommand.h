#pragma once
// The import command: a spreadsheet's edits of an exported view back into
// the drawing.
//   tessilux import DRAWING FILE.csv [--category ...] [-o OUT] [--dry-run]
//                   [--skip-malformed] [--overwrite]

namespace app {

// Adds "import" to the command line.
void registerImportCommand();

}  // namespace app
