#include "ReplayDatabase.h"

#include "common/Session.h"

namespace {

QJsonObject profileOption(const QString &profile)
{
    return profile.isEmpty() ? QJsonObject{} : QJsonObject{{QStringLiteral("profile"), profile}};
}

}  // namespace

ReplayDatabase::ReplayDatabase(const QString &profile, bool withDemo)
    : endpoint({}, profileOption(profile)), m_withDemo(withDemo)
{
    endpoint.answerFromSqlite();
}

ReplayDatabase::~ReplayDatabase()
{
    // The endpoint lets go of the file before the file's folder is removed.
    gConn.close();
    endpoint.stop();
    m_db.reset();
}

void ReplayDatabase::open()
{
    const QByteArray before = qgetenv("TAVIMOR_TEST_TDS_PORT");
    qputenv("TAVIMOR_TEST_TDS_PORT", QByteArray::number(endpoint.port()));
    m_db = std::make_unique<TestDatabase>(m_withDemo);
    if (before.isEmpty()) qunsetenv("TAVIMOR_TEST_TDS_PORT");
    else qputenv("TAVIMOR_TEST_TDS_PORT", before);
}
