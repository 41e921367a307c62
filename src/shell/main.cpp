#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>

#include "LoginWindow.h"
#include "common/DesktopHabits.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "data/DatabaseCheck.h"
#include "data/Scripts.h"
#include "sheet/SheetPreview.h"

namespace {

QString usage()
{
    return QStringLiteral(
        "用法: tavimor-complaints [选项] [会话]\n"
        "Usage: tavimor-complaints [options] [session]\n"
        "\n"
        "  --demo [file]   使用内置演示数据库（文件不存在时自动创建），不读取数据库设置\n"
        "                  run on the embedded demo database (created when the file does not exist)\n"
        "                  default file: %1\n"
        "  --sheet CODE OUT.pdf\n"
        "                  把编号为CODE的投诉处理单写成PDF文件后退出\n"
        "                  write the complaint sheet of complaint CODE as a PDF file and exit\n"
        "  --check-database  检查数据库中本程序需要的表、列、索引和权限（使用数据库设置，或 --demo 的文件）\n"
        "                  check the tables, columns, indexes and rights this program needs\n"
        "                  (with the stored settings, or the file of --demo); exit status 1 when something is missing\n"
        "  --version       显示版本 / print the version\n"
        "  --help          显示本说明 / print this help\n"
        "\n"
        "  session         由主程序传入的会话：以逗号分隔的十项\n"
        "                  a session handed over by the suite's main program, ten comma-separated fields:\n"
        "                  "
        "工号,姓名,部门代号,部门名称,岗位代号,岗位名称,部门类别代号,部门类别名称,岗位类别代号,岗位类别名称\n"
        "\n"
        "数据库设置 / database settings: %2 [DBConfig] Svr, UID, PWD, DBname\n"
        "  (Svr = sqlite:<file> selects an embedded SQLite database)\n");
}

QString defaultDemoFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/demo.sqlite");
}

void print(FILE *stream, const QString &text) { std::fputs(text.toLocal8Bit().constData(), stream); }

// The commands that run without a window need the stored settings; without them the driver could
// only say that it found no server of an empty name. Empty when the settings can be read.
QString missingSettings()
{
#ifdef Q_OS_WIN
    return QString();  // the registry: a missing key reads as empty, as the suite expects
#else
    const QString file = Settings::storedFile();
    if (QFileInfo::exists(file)) return QString();
    return QStringLiteral(
               "没有找到数据库设置文件 %1\n"
               "请建立这个文件，写入数据库的连接设置，例如：\n"
               "  [DBConfig]\n"
               "  Svr=数据库服务器（例如 dbserver\\SQLEXPRESS 或 dbserver,1433）\n"
               "  UID=登录名\n"
               "  PWD=密码\n"
               "  DBname=数据库名\n"
               "嵌入式 SQLite 数据库写 Svr=sqlite:<数据库文件>；演示数据库用 --demo [文件]。\n"
               "No database settings file %1: create it with the [DBConfig] keys above, or use --demo.\n")
        .arg(file);
#endif
}

// What the command line asks for.
struct CommandLine {
    bool version = false;
    bool help = false;
    bool demo = false;
    bool checkDatabase = false;
    QString demoFile;
    QStringList sheet;  // CODE, OUT.pdf
    bool sheetIncomplete = false;
    QString unknownOption;  // the first option the program does not know
    // The session the suite hands over: ten comma-separated fields, split into words wherever its
    // command line had blanks, joined back with single blanks.
    QStringList session;
};

// QCommandLineParser reads the options. It has no option with an optional value or with two
// values, and it would take a session word beginning with "-" for an option; so the session words
// are kept from it, "--demo [file]" reaches it as "--demo=file" (empty without a file), and
// "--sheet CODE OUT.pdf" as two "--sheet=" values. "-v" and "-h" are the short forms.
CommandLine readCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QStringList options{arguments.value(0)};
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--demo")) {
            const bool hasFile = i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--"));
            options << QStringLiteral("--demo=") + (hasFile ? arguments.at(++i) : QString());
        } else if (arg == QLatin1String("--sheet")) {
            // Everything after an incomplete --sheet is its missing values: nothing more is read.
            if (i + 2 >= arguments.size()) {
                line.sheetIncomplete = true;
                break;
            }
            options << QStringLiteral("--sheet=") + arguments.at(i + 1)
                    << QStringLiteral("--sheet=") + arguments.at(i + 2);
            i += 2;
        } else if (arg == QLatin1String("--")) {
            if (line.unknownOption.isEmpty()) line.unknownOption = arg;
        } else if (arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-v") || arg == QLatin1String("-h")) {
            options << arg;
        } else {
            line.session << arg;
        }
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption demo(QStringLiteral("demo"), QString(), QStringLiteral("file"));
    const QCommandLineOption sheet(QStringLiteral("sheet"), QString(), QStringLiteral("value"));
    const QCommandLineOption checkDatabase(QStringLiteral("check-database"));
    parser.addOptions({version, help, demo, sheet, checkDatabase});
    if (!parser.parse(options) && line.unknownOption.isEmpty()) {
        const QString name = parser.unknownOptionNames().value(0);
        line.unknownOption = name.isEmpty() ? parser.errorText() : QStringLiteral("--") + name;
    }

    // --version and --help answer at once, whichever comes first.
    for (const QString &name : parser.optionNames()) {
        line.version = name == QLatin1String("v") || name == QLatin1String("version");
        line.help = name == QLatin1String("h") || name == QLatin1String("help");
        if (line.version || line.help) break;
    }
    line.demo = parser.isSet(demo);
    for (const QString &file : parser.values(demo))
        if (!file.isEmpty()) line.demoFile = file;  // a later bare --demo keeps the file
    const QStringList sheetValues = parser.values(sheet);
    if (sheetValues.size() >= 2) line.sheet = sheetValues.mid(sheetValues.size() - 2);
    else if (parser.isSet(sheet)) line.sheetIncomplete = true;
    line.checkDatabase = parser.isSet(checkDatabase);
    return line;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("tavimor-complaints"));
    QCoreApplication::setOrganizationName(QStringLiteral("Tavimor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIMOR_VERSION));

    // The options are read before any window system is needed, so --version and --help work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = readCommandLine(arguments);
    if (line.version) {
        print(stdout, QStringLiteral("tavimor-complaints %1\n").arg(QStringLiteral(TAVIMOR_VERSION)));
        return 0;
    }
    if (line.help) {
        print(stdout, usage().arg(defaultDemoFile(), Settings::storedPlace()));
        return 0;
    }
    if (line.sheetIncomplete) {
        print(stderr, QStringLiteral("--sheet 需要投诉编号和PDF文件名 / --sheet needs CODE and OUT.pdf\n"));
        return 2;
    }
    if (!line.unknownOption.isEmpty()) {
        print(stderr, QStringLiteral("未知选项 / unknown option: %1\n\n").arg(line.unknownOption) +
                          usage().arg(defaultDemoFile(), Settings::storedPlace()));
        return 2;
    }
    const bool demo = line.demo;
    const bool checkDatabase = line.checkDatabase;
    const QStringList &sheet = line.sheet;
    QString demoFile = line.demoFile;

    // Writing a sheet needs fonts and a printer, not a display.
    if (!sheet.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if ((checkDatabase || !sheet.isEmpty()) && !demo) {
        const QString missing = missingSettings();
        if (!missing.isEmpty()) {
            print(stderr, missing);
            return checkDatabase ? 2 : 1;  // the check's "cannot reach the database", the sheet's failure
        }
    }
    if (checkDatabase) {
        QCoreApplication core(argc, argv);
        const ConnectionSettings settings =
            demo ? ConnectionSettings{QStringLiteral("sqlite:") +
                                          QFileInfo(demoFile.isEmpty() ? defaultDemoFile() : demoFile)
                                              .absoluteFilePath(),
                                      {},
                                      {},
                                      {}}
                 : Settings::readStored();
        QString report;
        const int status = DatabaseCheck::report(settings, &report);
        print(status == 2 ? stderr : stdout, report);
        return status;
    }

    QApplication app(argc, argv);
    DesktopHabits::install(app);

    if (demo) {
        if (demoFile.isEmpty()) demoFile = defaultDemoFile();
        demoFile = QFileInfo(demoFile).absoluteFilePath();
        if (!QFileInfo::exists(demoFile)) {
            try {
                Scripts::createSqliteDatabase(demoFile, true);
            } catch (const DbError &e) {
                const QString message = QStringLiteral("无法创建演示数据库：%1").arg(e.description());
                // Writing a sheet shows no window: the reason goes to the standard error.
                if (!sheet.isEmpty()) {
                    print(stderr, message + QLatin1Char('\n'));
                    return 1;
                }
                Messages::information(message);
            }
        }
        Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + demoFile, {}, {}, {}});
    }

    if (!sheet.isEmpty()) return writeSheetCommand(sheet.at(0), sheet.at(1));

    auto *login = new LoginWindow;
    if (!login->load(line.session.join(QLatin1Char(' ')))) login->show();
    return app.exec();
}
