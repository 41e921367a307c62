#include "TdsEndpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QtDebug>

namespace {

QString python()
{
    // Debian's interpreter first: the statement check needs its python3-sqlglot.
    if (QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

QString endpointScript()
{
    return QDir(qEnvironmentVariable("TAVIMOR_SOURCE_DIR")).filePath(QStringLiteral("tests/sqlserver/tds_endpoint.py"));
}

bool freeTdsInstalled()
{
    QFile ini(QStringLiteral("/etc/odbcinst.ini"));
    if (ini.open(QIODevice::ReadOnly) && ini.readAll().contains("[FreeTDS]")) return true;
    for (const char *path :
         {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so"})
        if (QFileInfo::exists(QLatin1String(path))) return true;
    return false;
}

}  // namespace

TdsEndpoint::TdsEndpoint(const QJsonArray &rules, const QJsonObject &options) : m_rules(rules), m_options(options) {}

TdsEndpoint::~TdsEndpoint()
{
    stop();
    // For looking at a run by hand: TAVIMOR_KEEP_TDS_RECORD=1 keeps the script and the record.
    if (!qEnvironmentVariableIsEmpty("TAVIMOR_KEEP_TDS_RECORD")) {
        m_dir.setAutoRemove(false);
        qInfo().noquote() << "TDS endpoint record kept in" << m_dir.path();
    }
}

QString TdsEndpoint::unavailable()
{
    if (python().isEmpty()) return QStringLiteral("python3 is missing");
    if (!QFileInfo::exists(endpointScript()))
        return QStringLiteral("%1 is missing (TAVIMOR_SOURCE_DIR)").arg(endpointScript());
    if (!freeTdsInstalled()) return QStringLiteral("the FreeTDS ODBC driver is missing (Debian package tdsodbc)");
    return QString();
}

bool TdsEndpoint::start()
{
    m_error = unavailable();
    if (!m_error.isEmpty()) return false;
    setScript(m_rules, m_options);
    m_process.setProgram(python());
    QStringList arguments{endpointScript(), QStringLiteral("--script"), m_dir.filePath(QStringLiteral("script.json")),
                          QStringLiteral("--record"), recordFile()};
    if (m_sqlite) arguments << QStringLiteral("--sqlite");
    arguments << QStringLiteral("--profile") << profile();
    // Started again after stop(): on the port it had, as a server that comes back would be.
    if (m_port != 0) arguments << QStringLiteral("--port") << QString::number(m_port);
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    QByteArray line;
    while (m_process.waitForReadyRead(10000)) {
        line += m_process.readAll();
        if (line.contains('\n')) break;
    }
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("the TDS endpoint did not start: %1").arg(QString::fromUtf8(line));
        stop();
        return false;
    }
    m_port = static_cast<quint16>(line.mid(5).trimmed().toUInt());
    return true;
}

void TdsEndpoint::stop()
{
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.closeWriteChannel();  // the endpoint ends when its input closes
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void TdsEndpoint::setScript(const QJsonArray &rules, const QJsonObject &options)
{
    m_rules = rules;
    m_options = options;
    QJsonObject script = options;
    script[QStringLiteral("rules")] = rules;
    // Written beside and renamed, so that the server never reads half a script.
    const QString path = m_dir.filePath(QStringLiteral("script.json"));
    QFile file(path + QStringLiteral(".new"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QJsonDocument(script).toJson(QJsonDocument::Compact));
        file.close();
        QFile::remove(path);
        QFile::rename(file.fileName(), path);
    }
}

QString TdsEndpoint::profile() const
{
    const QString named = m_options[QStringLiteral("profile")].toString();
    if (!named.isEmpty()) return named;
    const QString chosen = qEnvironmentVariable("TAVIMOR_TEST_TDS_PROFILE");
    return chosen.isEmpty() ? QStringLiteral("plain") : chosen;
}

ConnectionSettings TdsEndpoint::settings(const QString &login, const QString &password, const QString &database) const
{
    return ConnectionSettings{QStringLiteral("127.0.0.1,%1").arg(m_port), login, password, database};
}

QString TdsEndpoint::recordFile() const { return m_dir.filePath(QStringLiteral("record.jsonl")); }

QList<QJsonObject> TdsEndpoint::requests(const QString &type) const
{
    QList<QJsonObject> list;
    QFile file(recordFile());
    if (!file.open(QIODevice::ReadOnly)) return list;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (type.isEmpty() || entry[QStringLiteral("type")].toString() == type) list << entry;
    }
    return list;
}

QList<QJsonObject> TdsEndpoint::statements() const
{
    QList<QJsonObject> list;
    for (const QJsonObject &entry : requests()) {
        const QString type = entry[QStringLiteral("type")].toString();
        if ((type == QLatin1String("batch") || type == QLatin1String("rpc")) &&
            !entry[QStringLiteral("sql")].toString().isEmpty())
            list << entry;
    }
    return list;
}

QList<QPair<QString, QString>> TdsEndpoint::scanWarnings() const
{
    QList<QPair<QString, QString>> warnings;
    for (const QJsonObject &entry : requests(QStringLiteral("scan-warning"))) {
        const QPair<QString, QString> warning{entry[QStringLiteral("sql")].toString(),
                                              entry[QStringLiteral("reason")].toString()};
        if (!warnings.contains(warning)) warnings << warning;
    }
    return warnings;
}

QStringList TdsEndpoint::sqlTexts() const
{
    QStringList texts;
    for (const QJsonObject &entry : statements()) texts << entry[QStringLiteral("sql")].toString();
    return texts;
}

void TdsEndpoint::clearRecord()
{
    QFile file(recordFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.close();
}

QJsonObject TdsEndpoint::rows(const QString &match, const QList<QPair<QString, QString>> &columns,
                              const QList<QVariantList> &rows)
{
    QJsonArray cols;
    for (const auto &column : columns)
        cols.append(QJsonObject{{QStringLiteral("name"), column.first}, {QStringLiteral("type"), column.second}});
    QJsonArray data;
    for (const QVariantList &row : rows) data.append(QJsonArray::fromVariantList(row));
    return QJsonObject{{QStringLiteral("match"), match},
                       {QStringLiteral("results"),
                        QJsonArray{QJsonObject{{QStringLiteral("columns"), cols}, {QStringLiteral("rows"), data}}}}};
}

QJsonObject TdsEndpoint::rowCount(const QString &match, int count)
{
    return QJsonObject{{QStringLiteral("match"), match}, {QStringLiteral("rowcount"), count}};
}

QJsonObject TdsEndpoint::failure(const QString &match, int number, const QString &message)
{
    return QJsonObject{{QStringLiteral("match"), match},
                       {QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("number"), number}, {QStringLiteral("message"), message}}}};
}

QJsonObject TdsEndpoint::closing(const QString &match)
{
    return QJsonObject{{QStringLiteral("match"), match}, {QStringLiteral("close"), true}};
}

QJsonObject TdsEndpoint::times(QJsonObject rule, int times)
{
    rule[QStringLiteral("times")] = times;
    return rule;
}
