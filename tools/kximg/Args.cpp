#include "Args.h"

#include "Error.h"

namespace kximg {

namespace {

const OptionSyntax kHelpOption{QStringLiteral("help"), QLatin1Char('h'), QString(),
                             QStringLiteral("show this help")};
const OptionSyntax kVerboseOption{QStringLiteral("verbose"), QLatin1Char('v'), QString(),
                                QStringLiteral("show the library's debug log (also KXIMG_VERBOSE=1)")};

QList<OptionSyntax> AllOptions(const CommandSyntax& syntax)
{
    QList<OptionSyntax> all = syntax.options;
    all << kHelpOption << kVerboseOption;
    return all;
}

const OptionSyntax* FindLong(const QList<OptionSyntax>& options, const QString& name)
{
    for (const OptionSyntax& option : options)
        if (option.name == name)
            return &option;
    return nullptr;
}

const OptionSyntax* FindShort(const QList<OptionSyntax>& options, QChar name)
{
    for (const OptionSyntax& option : options)
        if (!option.shortName.isNull() && option.shortName == name)
            return &option;
    return nullptr;
}

QString SeeHelp(const CommandSyntax& syntax)
{
    return syntax.name.isEmpty() ? QStringLiteral(" (see 'kximg --help')")
                               : QStringLiteral(" (see 'kximg %1 --help')").arg(syntax.name);
}

QString OptionLabel(const OptionSyntax& option)
{
    QString label = option.shortName.isNull() ? QStringLiteral("    ")
                                              : QStringLiteral("-%1, ").arg(option.shortName);
    label += QStringLiteral("--") + option.name;
    if (!option.valueName.isEmpty())
        label += QLatin1Char(' ') + option.valueName;
    return label;
}

} // namespace

QString CommandPrefix(const CommandSyntax& syntax)
{
    return syntax.name.isEmpty() ? QString() : syntax.name + QStringLiteral(": ");
}

ParsedArgs Parse(const CommandSyntax& syntax, const QStringList& arguments)
{
    const QList<OptionSyntax> options = AllOptions(syntax);
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'))) {
            parsed.m_positional << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        const OptionSyntax* option = nullptr;
        QString inlineValue;
        bool hasInlineValue = false;
        if (argument.startsWith(QLatin1String("--"))) {
            QString name = argument.mid(2);
            const int equals = name.indexOf(QLatin1Char('='));
            if (equals >= 0) {
                inlineValue = name.mid(equals + 1);
                hasInlineValue = true;
                name.truncate(equals);
            }
            option = FindLong(options, name);
        } else if (argument.size() == 2) {
            option = FindShort(options, argument[1]);
        }
        if (!option)
            throw Error(CommandPrefix(syntax) + QStringLiteral("unknown option %1").arg(Quoted(argument)) +
                        SeeHelp(syntax));

        QString value;
        if (option->valueName.isEmpty()) {
            if (hasInlineValue)
                throw Error(CommandPrefix(syntax) +
                            QStringLiteral("option --%1 takes no value").arg(option->name));
        } else if (hasInlineValue) {
            value = inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            throw Error(CommandPrefix(syntax) +
                        QStringLiteral("option --%1 needs a value (%2)").arg(option->name, option->valueName));
        }

        if (option->name == kHelpOption.name)
            parsed.m_help = true;
        else if (option->name == kVerboseOption.name)
            parsed.m_verbose = true;
        else
            parsed.m_values.insert(option->name, value);
    }

    if (parsed.m_help)
        return parsed;
    const int count = parsed.m_positional.size();
    if (count < syntax.minPositional)
        throw Error(CommandPrefix(syntax) + QStringLiteral("missing arguments: usage: kximg %1").arg(syntax.usage));
    if (syntax.maxPositional >= 0 && count > syntax.maxPositional)
        throw Error(CommandPrefix(syntax) +
                    QStringLiteral("unexpected argument %1").arg(Quoted(parsed.m_positional[syntax.maxPositional])) +
                    SeeHelp(syntax));
    return parsed;
}

QString HelpText(const CommandSyntax& syntax)
{
    QString text = QStringLiteral("Usage: kximg %1\n").arg(syntax.usage);
    if (!syntax.description.isEmpty())
        text += QLatin1Char('\n') + syntax.description + QLatin1Char('\n');

    const QList<OptionSyntax> options = AllOptions(syntax);
    int width = 0;
    for (const OptionSyntax& option : options)
        width = qMax(width, OptionLabel(option).size());
    text += QStringLiteral("\nOptions:\n");
    for (const OptionSyntax& option : options) {
        const QStringList lines = option.help.split(QLatin1Char('\n'));
        text += QStringLiteral("  ") + OptionLabel(option).leftJustified(width + 2) + lines.first() +
                QLatin1Char('\n');
        for (int i = 1; i < lines.size(); ++i)
            text += QString(width + 4, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    if (!syntax.examples.isEmpty())
        text += QStringLiteral("\nExamples:\n") + syntax.examples + QLatin1Char('\n');
    return text;
}

} // namespace kximg
