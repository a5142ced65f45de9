#ifndef KXIMGRUN_H
#define KXIMGRUN_H

// Running the built kximg binary (or a wrapper around it) as a user would,
// and what it leaves behind.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct Outcome {
    int status = -1; // -1: killed by a signal, or not finished in time
    QString out;
    QString err;
};

// `environment`: "NAME=value" entries set on top of this process's. When
// `program` is given it runs instead, with kximg's path as its first
// argument (a shell or namespace wrapper).
inline Outcome RunKximg(const QStringList& arguments, const QString& workingDirectory,
                        const QStringList& environment = {}, int timeoutMs = 60000,
                        const QStringList& program = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KXIMG_VERBOSE"));
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    if (program.isEmpty())
        process.start(QStringLiteral(KXIMG_PATH), arguments);
    else
        process.start(program.first(), program.mid(1) + QStringList{QStringLiteral(KXIMG_PATH)} + arguments);
    Outcome run;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The tile manager's page files in a directory.
inline QStringList PageFiles(const QString& directory)
{
    return QDir(directory).entryList({QStringLiteral("tamrixo*.page")}, QDir::Files | QDir::Hidden | QDir::System);
}

// A scratch directory for runs of kximg, with a few ways to look into it.
class KximgDirectory {
public:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QStringList Entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    Outcome Kximg(const QStringList& arguments, const QStringList& environment = {},
                  const QStringList& program = {}) const
    {
        return RunKximg(arguments, m_dir.path(), environment, 180000, program);
    }
    bool Save(const QString& name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    QByteArray Bytes(const QString& name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

#endif // KXIMGRUN_H
