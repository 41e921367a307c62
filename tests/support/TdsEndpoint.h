#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "data/Database.h"

// The TDS test server (tds_endpoint.py) for one test: started on a free port of 127.0.0.1 with a
// script of answers, it records every request it gets, decoded, until it is stopped.
//
//     TdsEndpoint endpoint({TdsEndpoint::rows("SELECT", {{"ID", "int"}}, {{7}})});
//     if (!endpoint.start()) QFAIL(...);
//     gConn.open(endpoint.settings());
//     ... endpoint.statements() ...
class TdsEndpoint {
public:
    explicit TdsEndpoint(const QJsonArray &rules = {}, const QJsonObject &options = {});
    ~TdsEndpoint();
    TdsEndpoint(const TdsEndpoint &) = delete;
    TdsEndpoint &operator=(const TdsEndpoint &) = delete;

    // Before start(): requests that no rule answers run on the SQLite file that the login names as
    // its database (tests/support/TestDatabase does so under TAVIMOR_TEST_TDS_PORT), answered as
    // the server of the profile would answer them (tests/sqlserver/profiles/<name>.json).
    void answerFromSqlite() { m_sqlite = true; }
    // The server profile: `options` may name one ("profile"), else TAVIMOR_TEST_TDS_PROFILE does,
    // else it is "plain".
    QString profile() const;
    // Starts the server (again after stop(), on the same port); false with error() when it cannot
    // run here.
    bool start();
    void stop();
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }

    // Replaces the answers; the server reads them before its next request. `options` may name
    // "database", "collation" ("Chinese_PRC_CI_AS", "SQL_Latin1_General_CP1_CI_AS"), "profile"
    // or refuse the "login".
    void setScript(const QJsonArray &rules, const QJsonObject &options = {});
    // Connection settings that reach this server ("127.0.0.1,<port>").
    ConnectionSettings settings(const QString &login = QStringLiteral("sa"),
                                const QString &password = QStringLiteral("secret"),
                                const QString &database = QStringLiteral("物业")) const;

    // Everything recorded so far, in order (each a JSON object with a "type": "prelogin",
    // "login", "batch", "rpc", "tm", "attention", "disconnect", "endpoint-fault").
    QList<QJsonObject> requests(const QString &type = QString()) const;
    // What the profile's server would only have done by reading more than it needs (the statement
    // and the reason, each once).
    QList<QPair<QString, QString>> scanWarnings() const;
    // The SQL requests (batches and calls carrying a statement), in order.
    QList<QJsonObject> statements() const;
    // The text of every SQL request, in order.
    QStringList sqlTexts() const;
    void clearRecord();
    QString recordFile() const;

    // Rules of the script. `match` is a regular expression searched in the SQL text.
    static QJsonObject rows(const QString &match, const QList<QPair<QString, QString>> &columns,
                            const QList<QVariantList> &rows);
    static QJsonObject rowCount(const QString &match, int count);
    static QJsonObject failure(const QString &match, int number, const QString &message);
    static QJsonObject closing(const QString &match);
    // Answers only the first `times` matching requests.
    static QJsonObject times(QJsonObject rule, int times);

    // Why the endpoint cannot run on this machine (python3 or the FreeTDS driver missing), or "".
    static QString unavailable();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    quint16 m_port = 0;
    bool m_sqlite = false;
    QJsonArray m_rules;
    QJsonObject m_options;
};

// In a test function: starts the endpoint or ends the test (a failure under CI, where the tools
// must be there; a skip elsewhere).
#define TDS_START(endpoint)                                                                \
    do {                                                                                   \
        if (!(endpoint).start()) {                                                         \
            if (!qEnvironmentVariableIsEmpty("CI")) QFAIL(qPrintable((endpoint).error())); \
            QSKIP(qPrintable((endpoint).error()));                                         \
        }                                                                                  \
    } while (false)
