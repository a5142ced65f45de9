#include "AtomicFile.h"

#include "Error.h"

#include <QSaveFile>

namespace kximg {

namespace {

QString LowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

void WriteAtomically(const QString& path, const std::function<QString(QIODevice&)>& write)
{
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("cannot write %1: %2").arg(Quoted(path), LowerFirst(reason)));
    };
    // QSaveFile removes its temporary file when it is destroyed uncommitted,
    // also when an exception passes through here.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fail(file.errorString());
    const QString problem = write(file);
    if (!problem.isEmpty()) {
        file.cancelWriting();
        throw fail(problem);
    }
    if (!file.commit())
        throw fail(file.errorString());
}

void WriteAtomically(const QString& path, const QByteArray& bytes)
{
    WriteAtomically(path, [&](QIODevice& device) {
        return device.write(bytes) == bytes.size() ? QString() : device.errorString();
    });
}

} // namespace kximg
