#ifndef KXIMG_ATOMICFILE_H
#define KXIMG_ATOMICFILE_H

// Writing a file so that it is either complete or not there: the bytes go to a
// temporary file beside the target, which replaces the target only once
// everything has been written. On failure the temporary file is removed and
// the target keeps what it had; so it is when the tool is interrupted (see
// Interrupt.h), also when it has to stop at once. The temporary file is
// named OUT.kximg-<base-36 number> and locked while it is written; one that
// a killed run left is removed by the next write to the same OUT.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

namespace kximg {

// Calls `write` with the open temporary file; `write` returns an empty string
// on success or the reason it failed. Throws Error ("cannot write 'path':
// reason") on any failure.
void WriteAtomically(const QString& path, const std::function<QString(QIODevice&)>& write);

void WriteAtomically(const QString& path, const QByteArray& bytes);

} // namespace kximg

#endif // KXIMG_ATOMICFILE_H
