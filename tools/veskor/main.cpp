// veskor: build, maintain and search knowledge bases from the command line.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "commands.h"
#include "failure.h"

#ifndef VESKOR_VERSION
#define VESKOR_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using namespace veskorcli;
  GlobalOptions options;
  CLI::App app(
      "Build, maintain and search Veskor knowledge bases.\n"
      "Text is UTF-8 (--encoding latin1 passes bytes through); exit codes: 0 success (also when\n"
      "nothing is found), 2 usage, 3 engine error, 4 file or encoding error.",
      "veskor");
  app.set_version_flag("--version", "veskor " VESKOR_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--encoding", options.encoding, "Encoding of arguments, input files and output")
      ->check(CLI::IsMember({"utf8", "latin1"}))
      ->capture_default_str();
  app.add_flag("--lossy", options.lossy, "Replace characters outside Latin-1 by '?' instead of failing");
  app.add_flag("--verbose", options.verbose, "Show where in the engine an error was raised");

  addManageCommands(app, options);
  addImportCommands(app, options);
  addFindCommands(app, options);
  addBuildWaCommand(app, options);
  addDemoCommand(app, options);
  addMatchCommand(app, options);
  addShardCommands(app, options);
  addServeCommand(app, options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return app.exit(success);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return exitUsage;
  } catch (const Failure& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "veskor: %s\n", failure.what());
    return failure.exitCode();
  } catch (const std::filesystem::filesystem_error& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "veskor: %s\n", error.what());
    return exitFile;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "veskor: %s\n", error.what());
    return exitEngine;
  }
  return exitSuccess;
}
