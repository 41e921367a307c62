#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "ReadOnlyFile.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/Scripts.h"

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

QByteArray contents(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// What SQLite would leave beside a file it wrote to.
QStringList companions(const QString &file)
{
    QStringList found;
    for (const char *suffix : {"-wal", "-shm", "-journal"})
        if (QFileInfo::exists(file + QLatin1String(suffix))) found << file + QLatin1String(suffix);
    return found;
}

}  // namespace

// The commands that run without a window: --check-database and --sheet, started as the program
// itself with a settings folder of the test's own.
class CommandLineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString configHome() const { return m_dir->filePath(QStringLiteral("config")); }
    QString settingsFile() const { return configHome() + QStringLiteral("/Tavimor2011/Tavimor2011.ini"); }

    void storeSettings(const QString &sqliteFile)
    {
        QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
        QFile ini(settingsFile());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[DBConfig]\nSvr=sqlite:" + sqliteFile.toUtf8() + "\n");
    }

    Run program(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAVIMOR_PROGRAM), arguments);
        Run run;
        if (!process.waitForFinished(120000)) return run;
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        run.err = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

    Run check() { return program({QStringLiteral("--check-database")}); }
    Run sheet(const QString &pdf) { return program({QStringLiteral("--sheet"), QStringLiteral("00000015"), pdf}); }

    // A demo database in a folder of its own, in WAL mode as the program leaves it.
    QString demoDatabase(const QString &folder)
    {
        const QString file = m_dir->filePath(folder) + QStringLiteral("/complaints.sqlite");
        Scripts::createSqliteDatabase(file, true);
        Database db;
        db.openSqlite(file);
        return file;
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void missingSettingsFileIsNamedWithWhatToWrite()
    {
        const QString pdf = m_dir->filePath(QStringLiteral("sheet.pdf"));
        const Run checked = check();
        const Run printed = sheet(pdf);
        QCOMPARE(checked.status, 2);
        QCOMPARE(printed.status, 1);
        QVERIFY(!QFileInfo::exists(pdf));
        for (const QString &err : {checked.err, printed.err}) {
            QVERIFY2(err.contains(QStringLiteral("没有找到数据库设置文件 ") + settingsFile()), qPrintable(err));
            QVERIFY2(err.contains(QStringLiteral("[DBConfig]")) && err.contains(QStringLiteral("Svr=")),
                     qPrintable(err));
            QVERIFY2(!err.contains(QStringLiteral("Servername")), qPrintable(err));
        }
    }

    // The help names the settings file that is really read: the one under XDG_CONFIG_HOME.
    void helpNamesTheSettingsFileUnderTheConfigHome()
    {
        for (const QString &option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const Run run = program({option, QStringLiteral("--demo"), QStringLiteral("001,张三")});
            QCOMPARE(run.status, 0);
            QVERIFY2(run.out.contains(QStringLiteral("数据库设置 / database settings: ") + settingsFile() +
                                      QStringLiteral(" [DBConfig]")),
                     qPrintable(run.out));
            QVERIFY2(!run.out.contains(QStringLiteral("~/.config")), qPrintable(run.out));
        }
    }

    // Options that cannot run end with status 2 and say why; what follows an incomplete --sheet
    // is taken as its values, an option among them.
    void optionsThatCannotRunAreRefused()
    {
        const Run lone = program({QStringLiteral("--sheet"), QStringLiteral("00000015")});
        const Run swallowed = program({QStringLiteral("--sheet"), QStringLiteral("--help")});
        for (const Run &run : {lone, swallowed}) {
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains(QStringLiteral("--sheet needs CODE and OUT.pdf")), qPrintable(run.err));
            QVERIFY(run.out.isEmpty());
        }
        const Run unknown = program({QStringLiteral("001,张三"), QStringLiteral("--nonsense")});
        QCOMPARE(unknown.status, 2);
        QVERIFY2(unknown.err.startsWith(QStringLiteral("未知选项 / unknown option: --nonsense\n\n用法: ")),
                 qPrintable(unknown.err));
        const Run version = program({QStringLiteral("-v")});
        QCOMPARE(version.status, 0);
        QVERIFY2(version.out.startsWith(QStringLiteral("tavimor-complaints ")), qPrintable(version.out));
    }

    // Every index of the embedded database is listed, so a dropped one is noticed.
    void checkListsEveryIndexOfTheEmbeddedDatabase()
    {
        const QString file = demoDatabase(QStringLiteral("db"));
        storeSettings(file);
        Run run = check();
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("索引 ix_投诉信息_电话号码 ON 投诉信息 (联系电话号码, 撤销时间)  有")),
                 qPrintable(run.out));
        QVERIFY(run.out.contains(QStringLiteral("索引 ix_楼表_管理处 ON 楼表 (管理处)  有")));
        {
            Database db;
            db.openSqlite(file);
            db.execute(QStringLiteral("DROP INDEX ix_投诉信息_电话号码"));
        }
        run = check();
        QCOMPARE(run.status, 1);
        QVERIFY2(
            run.out.contains(QStringLiteral("索引 ix_投诉信息_电话号码 ON 投诉信息 (联系电话号码, 撤销时间)  缺少")),
            qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("检查结果：缺少 1 项")), qPrintable(run.out));
    }

    // An empty file and one of other contents are refused as at login, and left exactly as they were.
    void fileThatIsNoComplaintDatabaseIsLeftAlone()
    {
        const QString pdf = m_dir->filePath(QStringLiteral("sheet.pdf"));
        for (const QByteArray &content : {QByteArray(), QByteArray("名称,电话\n王海涛,0571-86001001\n")}) {
            const QString file = m_dir->filePath(QStringLiteral("given.sqlite"));
            QFile::remove(file);
            {
                QFile f(file);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(content);
            }
            storeSettings(file);
            const Run checked = check();
            QCOMPARE(checked.status, 2);
            QVERIFY2(checked.err.contains(QStringLiteral("这个文件不是投诉管理的数据库")), qPrintable(checked.err));
            const Run printed = sheet(pdf);
            QCOMPARE(printed.status, 1);
            QVERIFY2(printed.err.contains(QStringLiteral("这个文件不是投诉管理的数据库")), qPrintable(printed.err));
            QCOMPARE(contents(file), content);
            QCOMPARE(companions(file), QStringList());
            QVERIFY(!QFileInfo::exists(pdf));
        }
    }

    // A database in a folder nobody may write opens for reading: the check says it is read-only,
    // the sheet is written.
    void readOnlyFolderIsOpenedForReading()
    {
        const QString file = demoDatabase(QStringLiteral("archive"));
        QCOMPARE(companions(file), QStringList());
        storeSettings(file);
        ReadOnlyFile folder(QFileInfo(file).absolutePath());
        if (!folder.holds()) QFAIL("cannot make a read-only folder here (as root this needs chattr)");

        const Run checked = check();
        QVERIFY2(checked.out.contains(QStringLiteral("数据库是只读的")), qPrintable(checked.out + checked.err));
        QVERIFY2(checked.out.contains(QStringLiteral("  读 投诉信息  可以")), qPrintable(checked.out));
        QVERIFY2(checked.out.contains(QStringLiteral("检查结果：缺少 1 项")), qPrintable(checked.out));
        QCOMPARE(checked.status, 1);

        const QString pdf = m_dir->filePath(QStringLiteral("sheet.pdf"));
        const Run printed = sheet(pdf);
        QVERIFY2(printed.status == 0, qPrintable(printed.err));
        QVERIFY(QFileInfo(pdf).size() > 0);
    }

    // A station that ended without bringing its journal in leaves changes only the journal
    // holds; a folder that takes no -shm file cannot read them, and an older state is not shown.
    void readOnlyFolderWithAJournalLeftBehindIsRefused()
    {
        const QString file = demoDatabase(QStringLiteral("crashed"));
        const QString copy = m_dir->filePath(QStringLiteral("left")) + QStringLiteral("/complaints.sqlite");
        QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
        {
            Database db;
            db.openSqlite(file);
            db.execute(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
            db.execute(QStringLiteral("DELETE FROM 投诉信息"));
            QVERIFY(QFile::copy(file, copy) &&
                    QFile::copy(file + QStringLiteral("-wal"), copy + QStringLiteral("-wal")));
        }
        storeSettings(copy);
        ReadOnlyFile folder(QFileInfo(copy).absolutePath());
        if (!folder.holds()) QFAIL("cannot make a read-only folder here (as root this needs chattr)");
        const Run checked = check();
        QCOMPARE(checked.status, 2);
        QVERIFY2(checked.err.contains(QStringLiteral("无法打开数据库文件")), qPrintable(checked.err));
    }
};

TAVIMOR_TEST(CommandLineTest)
#include "CommandLineTest.moc"
