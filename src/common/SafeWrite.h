#pragma once

#include <QByteArray>
#include <QString>

// Writing a file the user names (a PDF, a report) so that a failure never passes for success and
// never damages what was there.
namespace SafeWrite {

// Makes `bytes` the whole content of the file at `path`. The bytes go into a temporary file beside
// it; every write, the flush to disk and the close are checked, and only then is the temporary file
// renamed over the target. A file already at `path` is left as it was unless everything succeeded,
// and one that is read-only is refused rather than replaced. A target that is no regular file (a
// device such as /dev/stdout, a pipe) is written directly, every write checked.
// Returns an empty text when the file was written, otherwise what went wrong, in Chinese.
QString replaceFile(const QString &path, const QByteArray &bytes);

// What the user reads for an operating-system error number: "磁盘空间不足" for ENOSPC, ...
QString systemErrorText(int code);

}  // namespace SafeWrite
