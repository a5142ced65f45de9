#include "Args.h"

#include "Error.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>

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

QString OptionLabel(const OptionSyntax& option)
{
    QString label = option.shortName.isNull() ? QStringLiteral("    ")
                                              : QStringLiteral("-%1, ").arg(option.shortName);
    label += QStringLiteral("--") + option.name;
    if (!option.valueName.isEmpty())
        label += QLatin1Char(' ') + option.valueName;
    return label;
}

QString SeeHelp(const CommandSyntax& syntax)
{
    return syntax.name.isEmpty() ? QStringLiteral(" (see 'kximg --help')")
                               : QStringLiteral(" (see 'kximg %1 --help')").arg(syntax.name);
}

// The name an unknown option was given by, as the user wrote it.
QString Dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// QCommandLineParser's one error besides unknown options names the option
// in quotes: "Missing value after '--via'.", "Unexpected value after '--help'.".
QString QuotedArgument(const QString& errorText)
{
    const int first = errorText.indexOf(QLatin1Char('\''));
    const int last = errorText.lastIndexOf(QLatin1Char('\''));
    return first >= 0 && last > first ? errorText.mid(first + 1, last - first - 1) : QString();
}

const OptionSyntax* Find(const QList<OptionSyntax>& options, QString argument)
{
    argument.remove(QRegularExpression(QStringLiteral("^-+")));
    for (const OptionSyntax& option : options)
        if (option.name == argument || (argument.size() == 1 && option.shortName == argument[0]))
            return &option;
    return nullptr;
}

} // namespace

QString CommandPrefix(const CommandSyntax& syntax)
{
    return syntax.name.isEmpty() ? QString() : syntax.name + QStringLiteral(": ");
}

ParsedArgs Parse(const CommandSyntax& syntax, const QStringList& arguments)
{
    const QList<OptionSyntax> options = AllOptions(syntax);
    QCommandLineParser parser;
    for (const OptionSyntax& option : options) {
        QStringList names;
        if (!option.shortName.isNull())
            names << QString(option.shortName);
        names << option.name;
        // Both spellings of colour are accepted wherever one is.
        if (option.name.contains(QLatin1String("colour")))
            names << QString(option.name).replace(QLatin1String("colour"), QLatin1String("color"));
        parser.addOption(QCommandLineOption(names, option.help, option.valueName));
    }
    // The parser expects the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("kximg")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            throw Error(CommandPrefix(syntax) +
                        QStringLiteral("unknown option %1").arg(Quoted(Dashed(unknown.first()))) + SeeHelp(syntax));
        const OptionSyntax* option = Find(options, QuotedArgument(parser.errorText()));
        if (option && option->valueName.isEmpty())
            throw Error(CommandPrefix(syntax) + QStringLiteral("option --%1 takes no value").arg(option->name));
        if (option)
            throw Error(CommandPrefix(syntax) +
                        QStringLiteral("option --%1 needs a value (%2)").arg(option->name, option->valueName));
        throw Error(CommandPrefix(syntax) + parser.errorText() + SeeHelp(syntax));
    }

    ParsedArgs parsed;
    parsed.m_positional = parser.positionalArguments();
    for (const OptionSyntax& option : options) {
        if (!parser.isSet(option.name))
            continue;
        if (option.name == kHelpOption.name)
            parsed.m_help = true;
        else if (option.name == kVerboseOption.name)
            parsed.m_verbose = true;
        else
            parsed.m_values.insert(option.name, option.valueName.isEmpty() ? QString() : parser.value(option.name));
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
