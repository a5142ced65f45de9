#include "Commands.h"

#include "ImageFiles.h"

#include <algorithm>
#include <stdexcept>

namespace kximg {

namespace {

// Filled while static objects are made, before main; read-only afterwards.
std::vector<Command>& Registry()
{
    static std::vector<Command> commands;
    return commands;
}

} // namespace

bool RegisterCommand(const Command& command)
{
    Registry().push_back(command);
    return true;
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> sorted = [] {
        std::vector<Command> commands = Registry();
        std::sort(commands.begin(), commands.end(),
                  [](const Command& a, const Command& b) { return a.order < b.order; });
        for (size_t i = 1; i < commands.size(); ++i)
            if (commands[i].syntax().name == commands[i - 1].syntax().name)
                throw std::logic_error("kximg command registered twice: " +
                                       commands[i].syntax().name.toStdString());
        return commands;
    }();
    return sorted;
}

const Command* FindCommand(const QString& name)
{
    for (const Command& command : Commands())
        if (command.syntax().name == name)
            return &command;
    return nullptr;
}

const CommandSyntax& ToolSyntax()
{
    static const CommandSyntax syntax{
        QString(),
        QStringLiteral("[--verbose] COMMAND [ARGUMENTS]"),
        QString(),
        QString(),
        {OptionSyntax{QStringLiteral("version"), QChar(), QString(), QStringLiteral("show the version")}},
        0,
        -1,
        QString()};
    return syntax;
}

QString ToolHelpText()
{
    QString text = QStringLiteral("Usage: kximg %1\n\n"
                                  "Reads, converts and examines images with the kxcore image library.\n\n"
                                  "Commands:\n")
                       .arg(ToolSyntax().usage);
    for (const Command& command : Commands())
        text += QStringLiteral("  %1%2\n").arg(command.syntax().name.leftJustified(10), command.syntax().summary);
    text += QStringLiteral("\n'kximg COMMAND --help' describes a command.\n");
    // The option list of the generic help text, without its usage line.
    const QString generic = HelpText(ToolSyntax());
    text += generic.mid(generic.indexOf(QStringLiteral("\nOptions:")));
    text += QStringLiteral("\nImages are read and written with Qt's image plugins. This build reads\n"
                           "  %1\nand writes\n  %2\n"
                           "IN may be '-' for standard input and OUT '-' for standard output (give\n"
                           "the output format with --format).\n")
                .arg(ReadableFormats(), WritableFormats());
    text += QStringLiteral("\nExit status: 0 on success; 2 for a bad command line, an input that cannot\n"
                           "be read or an output that cannot be written (nothing is written then);\n"
                           "1 when the library fails (for example, out of tile memory); 130 and 143\n"
                           "when stopped by SIGINT and SIGTERM (nothing is written then either).\n");
    return text;
}

} // namespace kximg
