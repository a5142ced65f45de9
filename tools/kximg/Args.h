#ifndef KXIMG_ARGS_H
#define KXIMG_ARGS_H

// Command descriptions: every command describes its options and positional
// arguments once; the same description feeds QCommandLineParser and gives the
// --help text.
//
// Accepted forms: "--name value", "--name=value", "-x" for options with a
// short name, and "--" to end the options. -h/--help and -v/--verbose are
// understood by every command.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace kximg {

struct OptionSyntax {
    QString name;      // long name without the dashes, e.g. "via"
    QChar shortName;   // e.g. 'o'; null when there is none
    QString valueName; // e.g. "FORM"; empty for a flag
    QString help;      // one or more lines, already wrapped
};

struct CommandSyntax {
    QString name;        // "convert"; empty for the tool itself
    QString usage;       // the part after "kximg", e.g. "convert IN OUT [--via FORM]"
    QString summary;     // one line for the command list
    QString description; // paragraphs shown by --help
    QList<OptionSyntax> options;
    int minPositional = 0;
    int maxPositional = 0; // -1: no limit
    QString examples;    // lines shown under "Examples:"
};

class ParsedArgs {
public:
    bool Help() const { return m_help; }
    bool Verbose() const { return m_verbose; }
    const QStringList& Positional() const { return m_positional; }
    bool Has(const QString& option) const { return m_values.contains(option); }
    QString Value(const QString& option, const QString& fallback = QString()) const
    {
        return m_values.value(option, fallback);
    }

private:
    friend ParsedArgs Parse(const CommandSyntax& syntax, const QStringList& arguments);
    bool m_help = false;
    bool m_verbose = false;
    QStringList m_positional;
    QHash<QString, QString> m_values; // flags map to an empty value
};

// Parses `arguments` (without the program and command names). Throws Error
// (exit status 2) naming the offending argument. When -h/--help is present
// the positional count is not checked, so that "kximg convert --help" works.
ParsedArgs Parse(const CommandSyntax& syntax, const QStringList& arguments);

// The --help text of a command.
QString HelpText(const CommandSyntax& syntax);

// "kximg convert: " for a command, "" for the tool itself: the start of
// messages about a command's arguments.
QString CommandPrefix(const CommandSyntax& syntax);

} // namespace kximg

#endif // KXIMG_ARGS_H
