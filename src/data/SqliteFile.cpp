#include "SqliteFile.h"

#include <QFileInfo>
#include <QUrl>

#include "Database.h"
#include "FailureText.h"

namespace {

int &writeWait()
{
    static int milliseconds = 5000;
    return milliseconds;
}

std::function<void(bool)> &waitIndicator()
{
    static std::function<void(bool)> indicator;
    return indicator;
}

// The indicator is on for the lifetime of the object.
class Waiting {
public:
    Waiting()
    {
        if (waitIndicator()) waitIndicator()(true);
    }
    ~Waiting()
    {
        if (waitIndicator()) waitIndicator()(false);
    }
    Waiting(const Waiting &) = delete;
    Waiting &operator=(const Waiting &) = delete;
};

QString busyTimeout(int milliseconds) { return QStringLiteral("PRAGMA busy_timeout = %1").arg(milliseconds); }

bool isLocked(const DbError &e) { return e.number() == 5 || e.number() == 6; }  // SQLITE_BUSY, SQLITE_LOCKED

bool folderIsWritable(const QString &path) { return QFileInfo(QFileInfo(path).absolutePath()).isWritable(); }

QString &databaseBeingMade()
{
    static QString path;
    return path;
}

}  // namespace

SqliteFile::Access SqliteFile::accessFor(const QString &path)
{
    return folderIsWritable(path) ? Access::ReadWrite : Access::ReadOnly;
}

bool SqliteFile::holdsEveryChange(const QString &path)
{
    return QFileInfo(path + QStringLiteral("-wal")).size() == 0 &&
           QFileInfo(path + QStringLiteral("-journal")).size() == 0;
}

QString SqliteFile::driverName(const QString &path, Access access)
{
    if (access != Access::Unchanging) return path;
    return QStringLiteral("file:") +
           QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
           QStringLiteral("?immutable=1");
}

QString SqliteFile::connectOptions(Access access)
{
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(writeWait());
    if (access != Access::ReadWrite) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (access == Access::Unchanging) options += QStringLiteral(";QSQLITE_OPEN_URI");
    return options;
}

void SqliteFile::checkIsComplaintDatabase(Database &db, const QString &path)
{
    // Reading the schema fails at once for a file that is no SQLite database at all.
    const int complaintTables =
        db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"),
                  {QStringLiteral("投诉信息")})
            .toInt();
    if (complaintTables > 0 || databaseBeingMade() == QFileInfo(path).absoluteFilePath()) return;
    throw DbError(26, FailureText::describe(FailureText::Kind::NotADatabase,
                                            QStringLiteral("no table 投诉信息 in %1").arg(path)));
}

SqliteFile::NewDatabase::NewDatabase(const QString &path) { databaseBeingMade() = QFileInfo(path).absoluteFilePath(); }

SqliteFile::NewDatabase::~NewDatabase() { databaseBeingMade().clear(); }

int SqliteFile::writeWaitMilliseconds() { return writeWait(); }

void SqliteFile::setWriteWaitMilliseconds(int milliseconds) { writeWait() = milliseconds; }

std::function<void(bool)> SqliteFile::setWaitIndicator(std::function<void(bool)> indicator)
{
    std::swap(waitIndicator(), indicator);
    return indicator;
}

bool SqliteFile::changesRows(const QString &sql)
{
    int i = 0;
    while (i < sql.size() && sql.at(i).isSpace()) ++i;
    for (const char *word : {"INSERT", "UPDATE", "DELETE", "REPLACE"}) {
        const QLatin1String keyword(word);
        if (QStringView(sql).mid(i, keyword.size()).compare(keyword, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

void SqliteFile::opened(Database &db, const QString &path)
{
    m_path = QFileInfo(path).absoluteFilePath();
    m_identity = FileIdentity::of(m_path);
    // The connection already waits writeWait() for a lock (its busy time-out is set at open).

    // A damaged file must not show up as empty lists.
    const QString verdict = db.scalar(QStringLiteral("PRAGMA quick_check(1)")).toString();
    if (verdict != QLatin1String("ok"))
        throw DbError(11, FailureText::describe(FailureText::Kind::Damaged,
                                                verdict + QStringLiteral(" (") + m_path + QLatin1Char(')')));

    // SQLite itself knows whether it may write (file permissions, read-only media); the folder
    // must take the journal as well. Another station's lock means the file can be written.
    m_readOnly = !folderIsWritable(m_path);
    if (!m_readOnly) {
        db.execute(busyTimeout(0));
        // A write that changes nothing, rolled back: only a real page write meets a read-only file.
        const int version = db.scalar(QStringLiteral("PRAGMA user_version")).toInt();
        try {
            db.execute(QStringLiteral("BEGIN IMMEDIATE"));
            try {
                db.execute(QStringLiteral("PRAGMA user_version = %1").arg(version));
            } catch (const DbError &e) {
                m_readOnly = !isLocked(e);
            }
            db.execute(QStringLiteral("ROLLBACK"));
        } catch (const DbError &e) {
            m_readOnly = !isLocked(e);
        }
        db.execute(busyTimeout(writeWait()));
    }
}

void SqliteFile::closed()
{
    m_path.clear();
    m_identity = FileIdentity();
    m_readOnly = false;
}

void SqliteFile::beginWrite(Database &db)
{
    if (!FileIdentity::of(m_path).sameFile(m_identity))
        throw DbError(
            FailureText::kFileRemovedNumber,
            FailureText::describe(FailureText::Kind::FileRemoved,
                                  QStringLiteral("the database file %1 is no longer the open one").arg(m_path)));
    const QString begin = db.dialect().beginTransaction();
    db.execute(busyTimeout(0));
    try {
        db.execute(begin);
    } catch (const DbError &e) {
        if (!isLocked(e)) {
            db.execute(busyTimeout(writeWait()));
            throw;
        }
        // Another station is writing: wait for it, but not for long.
        Waiting waiting;
        db.execute(busyTimeout(writeWait()));
        db.execute(begin);
        return;
    }
    db.execute(busyTimeout(writeWait()));
}
