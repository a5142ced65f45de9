#ifndef KXIMG_COMMANDS_H
#define KXIMG_COMMANDS_H

// The commands of kximg. A command is its argument description (which also
// gives its --help) and the function that runs it; the function runs with a
// Qt application and the tile manager already started, and returns the exit
// status or throws Error. Each command lives in a file of its own under
// commands/ and registers itself there:
//
//   KXIMG_COMMAND(20, ConvertSyntax, RunConvert, false)
//
// The number orders the commands in `kximg --help`.

#include "Args.h"

#include <vector>

namespace kximg {

struct Command {
    int order;
    const CommandSyntax& (*syntax)();
    int (*run)(const ParsedArgs&);
    bool drawsText; // needs a QGuiApplication
};

bool RegisterCommand(const Command& command);

// Every registered command in the order of their numbers.
const std::vector<Command>& Commands();
const Command* FindCommand(const QString& name);

// The tool's own description: usage, command list, global options.
const CommandSyntax& ToolSyntax();
QString ToolHelpText();

} // namespace kximg

#define KXIMG_COMMAND(order, syntax, run, drawsText)                                                          \
    namespace {                                                                                              \
    const bool registered##run = ::kximg::RegisterCommand({order, &syntax, &run, drawsText});                \
    }

#endif // KXIMG_COMMANDS_H
