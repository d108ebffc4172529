#pragma once
// The command line's exports of one category through the grid's pipeline:
// "export --format flat" (the flat document) and "export --format csv" (the
// grid's view, filtered).

namespace app {

// Registers "export:flat" and "export:csv" with the command line.
void registerExportCommands();

}  // namespace app
