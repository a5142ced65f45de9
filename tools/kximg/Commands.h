#ifndef KXIMG_COMMANDS_H
#define KXIMG_COMMANDS_H

// The commands of kximg. A command is its argument description (which also
// gives its --help) and the function that runs it; the function runs with a
// Qt application and the tile manager already started, and returns the exit
// status or throws Error.

#include "Args.h"

#include <functional>
#include <vector>

namespace kximg {

struct Command {
    const CommandSyntax* syntax;
    std::function<int(const ParsedArgs&)> run;
    bool drawsText; // needs a QGuiApplication
};

const std::vector<Command>& Commands();
const Command* FindCommand(const QString& name);

// The tool's own description: usage, command list, global options.
const CommandSyntax& ToolSyntax();
QString ToolHelpText();

} // namespace kximg

#endif // KXIMG_COMMANDS_H
