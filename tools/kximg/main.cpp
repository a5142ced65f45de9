// kximg: reads, converts and examines images with the kxcore library, and
// renders the demo gallery. See `kximg --help`.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Interrupt.h"

#include "VQTileManager64.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

std::atomic<bool> gVerbose{false};

// The library logs through qDebug (the tile manager reports at exit), and Qt
// warns about its surroundings (no XDG_RUNTIME_DIR, a PNG's odd ICC chunk);
// both stay hidden unless asked for, so that normal output is clean. The
// tool reports its own failures itself; critical and fatal messages always
// reach stderr.
void FilterMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if ((type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) && !gVerbose.load())
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stderr);
    if (type == QtFatalMsg)
        std::abort();
}

bool VerboseFromEnvironment()
{
    const QByteArray value = qgetenv("KXIMG_VERBOSE");
    return !value.isEmpty() && value != "0";
}

// The tile manager lives while a command runs: every image is gone before it
// is released. Page files of earlier runs that were killed go first (a live
// process's file stays), so none outlives its process beyond the next start.
class TileManagerSession {
public:
    TileManagerSession()
    {
        VQTileManager64::CleanupOrphanPageFiles();
        VQTileManager64::InitInstance(false);
        kximg::WatchPageFile();
    }
    ~TileManagerSession()
    {
        VQTileManager64::ReleaseInstance();
        kximg::ForgetPageFile();
    }
    TileManagerSession(const TileManagerSession&) = delete;
    TileManagerSession& operator=(const TileManagerSession&) = delete;
};

std::unique_ptr<QCoreApplication> MakeApplication(bool drawsText, int& argc, char** argv)
{
    if (!drawsText)
        return std::make_unique<QCoreApplication>(argc, argv);
    // Drawing text needs a GUI application; the offscreen platform needs no
    // display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

int Fail(const QString& message, int status)
{
    std::fprintf(stderr, "kximg: %s\n", qPrintable(message));
    return status;
}

// The library's std::bad_alloc says its tile blocks are used up, or that a
// block could not get its disk space; any other is the heap's.
bool IsTileExhaustion(const std::bad_alloc& error)
{
    return dynamic_cast<const KXBadAlloc*>(&error) || std::strcmp(error.what(), "bad allocation") == 0;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kximg;
    qInstallMessageHandler(FilterMessages);
    gVerbose = VerboseFromEnvironment();
    // Under a file-size limit ("ulimit -f") a write beyond it fails (EFBIG)
    // instead of killing the process: an output too large is refused like
    // any output that cannot be written, and nothing half-written stays.
    std::signal(SIGXFSZ, SIG_IGN);

    // kximg [tool options] [COMMAND [command arguments]]: the first pass
    // reads the tool's options up to the command's name; everything after it
    // is the command's, parsed in the second pass against its own options.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser first;
    first.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption verboseOption({QStringLiteral("v"), QStringLiteral("verbose")}, QString());
    const QCommandLineOption versionOption(QStringLiteral("version"), QString());
    first.addOptions({helpOption, verboseOption, versionOption});

    bool help = false, version = false;
    QString commandName;
    QStringList rest;
    const Command* command = nullptr;
    try {
        if (!first.parse(arguments)) {
            const QStringList unknown = first.unknownOptionNames();
            throw Error(unknown.isEmpty() ? first.errorText()
                                          : QStringLiteral("unknown option %1 (see 'kximg --help')")
                                                .arg(Quoted((unknown.first().size() == 1 ? QStringLiteral("-")
                                                                                         : QStringLiteral("--")) +
                                                            unknown.first())));
        }
        help = first.isSet(helpOption);
        version = first.isSet(versionOption);
        if (first.isSet(verboseOption))
            gVerbose = true;
        rest = first.positionalArguments();
        if (!rest.isEmpty())
            commandName = rest.takeFirst();
        if (!commandName.isNull() && !help && !version) {
            command = FindCommand(commandName);
            if (!command)
                throw Error(QStringLiteral("unknown command %1 (see 'kximg --help')").arg(Quoted(commandName)));
        }
    } catch (const Error& error) {
        return Fail(error.Message(), error.Status());
    }

    const std::unique_ptr<QCoreApplication> app = MakeApplication(command && command->drawsText, argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kximg"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KXIMG_VERSION));

    try {
        if (help) {
            std::printf("%s", qPrintable(ToolHelpText()));
            return kExitOk;
        }
        if (version) {
            std::printf("kximg %s (Qt %s)\n", KXIMG_VERSION, qVersion());
            return kExitOk;
        }
        if (!command) {
            std::fprintf(stderr, "Usage: kximg %s\n(see 'kximg --help')\n", qPrintable(ToolSyntax().usage));
            return kExitUsage;
        }

        const ParsedArgs args = Parse(command->syntax(), rest);
        if (args.Verbose())
            gVerbose = true;
        if (args.Help()) {
            std::printf("%s", qPrintable(HelpText(command->syntax())));
            return kExitOk;
        }
        ShowPluginMessages(gVerbose.load());
        InstallInterruptHandlers(commandName);
        TileManagerSession tiles;
        return command->run(args);
    } catch (const Error& error) {
        // A failure after a signal (a read cut short, say) is the signal's.
        if (InterruptSignal())
            return ReportInterrupted();
        return Fail(error.Message(), error.Status());
    } catch (const std::bad_alloc& error) {
        if (InterruptSignal())
            return ReportInterrupted();
        return Fail(QStringLiteral("%1: %2").arg(commandName, IsTileExhaustion(error)
                                                                  ? QStringLiteral("out of tile memory")
                                                                  : QStringLiteral("out of memory")),
                    kExitFailure);
    } catch (const std::exception& error) {
        if (InterruptSignal())
            return ReportInterrupted();
        return Fail(QStringLiteral("%1: %2").arg(commandName, QString::fromLocal8Bit(error.what())), kExitFailure);
    }
}
