// Each function adds its subcommands to the application; their callbacks do the work and throw
// Failure to end with a message and an exit code.
#pragma once

#include <CLI/CLI.hpp>

#include "options.h"

namespace veskorcli {

void addManageCommands(CLI::App& app,
                       const GlobalOptions& options);  // create, info, delete, delete-doc, defrag
void addImportCommands(CLI::App& app, const GlobalOptions& options);  // add, import, add-doc, import-docs
void addFindCommands(CLI::App& app, const GlobalOptions& options);    // find, find-doc, compare
void addBuildWaCommand(CLI::App& app, const GlobalOptions& options);  // build-wa
void addDemoCommand(CLI::App& app, const GlobalOptions& options);
void addMatchCommand(CLI::App& app, const GlobalOptions& options);   // match
void addShardCommands(CLI::App& app, const GlobalOptions& options);  // shard build, shard info
void addServeCommand(CLI::App& app, const GlobalOptions& options);  // serve

}  // namespace veskorcli
