#include "BenchDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <random>
#include <vector>

#include "common/Session.h"
#include "data/Database.h"
#include "data/Dialect.h"
#include "data/Scripts.h"

namespace BenchDatabase {

namespace {

// A prepared INSERT reused for every row of a table.
class Inserter {
public:
    Inserter(const QString &connection, const QString &table, const QStringList &columns)
        : m_query(QSqlDatabase::database(connection))
    {
        QStringList marks;
        for (int i = 0; i < columns.size(); ++i) marks << QStringLiteral("?");
        if (!m_query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))))
            qFatal("prepare %s: %s", qPrintable(table), qPrintable(m_query.lastError().text()));
    }
    void operator()(const QVariantList &values)
    {
        for (int i = 0; i < values.size(); ++i) m_query.bindValue(i, values.at(i));
        if (!m_query.exec()) qFatal("insert: %s", qPrintable(m_query.lastError().text()));
    }

private:
    QSqlQuery m_query;
};

QString stamp(const QDateTime &t) { return t.toString(Dialect::sqliteDateTimeFormat()); }

// The mobile number of householder `n`, written plainly (style 0-2), with blanks (3) or with
// dashes (4), as people give them.
QString telephoneOf(int n, int style)
{
    const QString digits = QStringLiteral("138%1").arg(n, 8, 10, QLatin1Char('0'));
    if (style == 3) return digits.left(3) + QLatin1Char(' ') + digits.mid(3, 4) + QLatin1Char(' ') + digits.mid(7);
    if (style == 4) return digits.left(3) + QLatin1Char('-') + digits.mid(3, 4) + QLatin1Char('-') + digits.mid(7);
    return digits;
}

const char *const kPhrases[] = {"楼上漏水",     "电梯故障多次报修未果", "夜间噪音扰民",  "垃圾清运不及时，气味很大",
                                "停车位被占用", "物业费账单有误",       "门禁卡失效",    "绿化带杂草丛生",
                                "楼道灯不亮",   "保安态度差",           "快递丢失",      "外墙渗水导致墙面发霉",
                                "水压不足",     "小区大门道闸故障",     "公共区域卫生差"};

}  // namespace

User receptionist()
{
    return {QStringLiteral("E2-2"),         QStringLiteral("接待员二"), QStringLiteral("2"),
            QStringLiteral("物业服务中心"), QStringLiteral("P2-2"),     QStringLiteral("前台接待")};
}

User acceptor()
{
    return {QStringLiteral("E2-1"),         QStringLiteral("主任二"), QStringLiteral("2"),
            QStringLiteral("物业服务中心"), QStringLiteral("P2-1"),   QStringLiteral("服务中心主任")};
}

User handler()
{
    return {QStringLiteral("E3-1"),  QStringLiteral("经理三"), QStringLiteral("3"),
            QStringLiteral("部门3"), QStringLiteral("P3-1"),   QStringLiteral("部门3主管")};
}

void login(const User &user)
{
    Session::clearForLogin();
    gUserID = user.id;
    gUserName = user.name;
    gDeptCode = user.deptCode;
    gDeptName = user.deptName;
    gPostCode = user.postCode;
    gPostName = user.postName;
}

double generate(const QString &file, const Sizes &sizes)
{
    QElapsedTimer timer;
    timer.start();
    QFile::remove(file);
    Scripts::createSqliteDatabase(file, false);
    Database db;
    db.openSqlite(file);
    db.execute(QStringLiteral("PRAGMA synchronous=OFF"));
    db.select(QStringLiteral("PRAGMA journal_mode=OFF"));
    db.execute(QStringLiteral("PRAGMA cache_size=-262144"));
    // The big tables are filled without their indexes, which are made once at the end.
    QStringList indexes;
    for (const Row row :
         db.select(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"
                                  " AND tbl_name IN ('投诉信息', '投诉信息处理')"))) {
        indexes << row.text(1);
        db.execute(QStringLiteral("DROP INDEX ") + row.text(0));
    }
    const QString c = db.connectionName();
    std::mt19937 random(20111);
    const auto pick = [&](int n) { return int(random() % unsigned(qMax(1, n))); };
    const QDateTime now = QDateTime::currentDateTime();
    const QString longAgo = QStringLiteral("2005-01-01 00:00:00");

    db.transaction([&] {
        Inserter({c}, QStringLiteral("职能部门类别"), {"部门类别代号", "部门类别名称"})({"01", "部门"});
        Inserter({c}, QStringLiteral("岗位类别"), {"岗位类别编号", "岗位类别名称"})({"01", "岗位"});
        Inserter category(c, QStringLiteral("投诉类别"), {"编号", "类别"});
        category({"01", "维修质量"});
        category({"02", "环境卫生"});
        Inserter channel(c, QStringLiteral("投诉方式"), {"编号", "方式"});
        channel({"01", "电话"});
        Inserter dept(c, QStringLiteral("职能部门new"),
                      {"职能部门编号", "职能部门名称", "职能部门类别代号", "终止日期", "显示协调位置"});
        Inserter parent(c, QStringLiteral("上级部门new"), {"职能部门编号", "上级部门编号", "起始日期"});
        Inserter post(
            c, QStringLiteral("岗位信息new"),
            {"岗位代号", "岗位名称", "职能部门代号", "岗位类别代号", "工号", "起始日期", "终止日期", "部门主管"});
        Inserter employee(c, QStringLiteral("员工档案"), {"工号", "姓名", "帐号密码", "离职日期"});
        Inserter holding(c, QStringLiteral("岗位员工new"),
                         {"员工代号", "岗位代号", "主要岗位", "入岗日期", "离岗日期"});
        for (int d = 1; d <= sizes.departments; ++d) {
            const QString code = QString::number(d);
            const QString name = d == 2 ? QStringLiteral("物业服务中心") : QStringLiteral("部门%1").arg(d);
            // Every 97th department has ended (its subtree drops out of the tree).
            dept({code, name, "01", d > 3 && d % 97 == 0 ? QVariant(longAgo) : QVariant(), sizes.departments - d});
            const QVariant up = d == 1 ? QVariant() : QVariant(QString::number((d - 2) / 5 + 1));
            if (d > 1 && d % 7 == 0) parent({code, "1", QStringLiteral("2001-01-01 00:00:00")});  // older parent
            parent({code, up, QStringLiteral("2010-01-01 00:00:00")});
            for (int k = 1; k <= 3; ++k) {
                const QString postCode = QStringLiteral("P%1-%2").arg(d).arg(k);
                const QString person = QStringLiteral("E%1-%2").arg(d).arg(k);
                QString postName =
                    k == 1 ? QStringLiteral("%1主管").arg(name) : QStringLiteral("%1岗位%2").arg(name).arg(k);
                if (d == 2 && k == 1) postName = QStringLiteral("服务中心主任");
                if (d == 2 && k == 2) postName = QStringLiteral("前台接待");
                post({postCode, postName, code, "01", person, longAgo, QVariant(), k == 1 ? 1 : 0});
                employee({person, QStringLiteral("员工%1-%2").arg(d).arg(k), "1234", QVariant()});
                holding({person, postCode, 1, longAgo, QVariant()});
            }
        }

        Inserter office(c, QStringLiteral("设置管理处"),
                        {"GYD_DH", "Gyd_name", "GYD_DZ", "GYD_TEL", "商用物业", "对应部门代号"});
        Inserter building(c, QStringLiteral("楼表"),
                          {"L_ID", "管理处", "地址1", "字1", "地址2", "字2", "地址3", "字3", "地址4", "字4"});
        Inserter room(c, QStringLiteral("室表"), {"S_ID", "L_ID", "室", "字", "房屋性质"});
        Inserter owner(c, QStringLiteral("业主表"), {"ZH_ID", "S_ID", "姓名", "联系方式", "说明"});
        Inserter contract(c, QStringLiteral("合同信息"),
                          {"ID", "合同编号", "座落", "对方单位", "区域代号", "合同生效日期", "合同中止日期"});
        Inserter unit(c, QStringLiteral("合同单元信息"), {"合同ID", "单元ID"});
        Inserter assignment(c, QStringLiteral("投诉处理人设置"),
                            {"管理处代号", "职能部门代号", "岗位代号", "设置日期", "终止日期", "备注"});
        Inserter({c}, QStringLiteral("FWXZK"), {"FWXZ_dh", "FWXZ_xz"})({"01", "住宅"});
        int buildingId = 0, roomId = 0, ownerId = 0, contractId = 0;
        // Department "2" runs the first offices, the other receiving departments the rest in turn.
        const int mainOffices =
            sizes.otherDepartments > 0 ? qMax(1, sizes.offices * sizes.mainPercent / 100) : sizes.offices;
        std::vector<std::vector<int>> officesOf(3 + qMax(0, sizes.otherDepartments));
        for (int o = 1; o <= sizes.offices; ++o) {
            const QString code = QString::number(o);
            const bool commercial = o % 3 == 0;
            const int runBy = o <= mainOffices ? 2 : 3 + (o - mainOffices - 1) % sizes.otherDepartments;
            officesOf[runBy].push_back(o);
            const QString runner = QString::number(runBy);
            office({code, QStringLiteral("管理处%1").arg(o), QStringLiteral("路%1号").arg(o), "0571-0000",
                    commercial ? 1 : 0, runner});
            assignment({code, runner, QStringLiteral("P%1-1").arg(runBy), QStringLiteral("2020-01-01 00:00:00"),
                        QVariant(), QVariant()});
            for (int b = 1; b <= sizes.buildingsPerOffice; ++b) {
                ++buildingId;
                building({buildingId, code, QStringLiteral("管理处%1").arg(o), QVariant(), QString::number(b), "幢",
                          QVariant(), QVariant(), QVariant(), QVariant()});
                if (commercial) {
                    ++contractId;
                    contract({contractId, QStringLiteral("HT%1").arg(contractId), QString(),
                              QStringLiteral("租户%1").arg(contractId), code, QStringLiteral("2020-01-01 00:00:00"),
                              QVariant()});
                }
                for (int r = 1; r <= sizes.roomsPerBuilding; ++r) {
                    ++roomId;
                    room({roomId, buildingId,
                          QString::number((r - 1) / 4 + 1) + QStringLiteral("0") + QString::number((r - 1) % 4 + 1),
                          "室", "01"});
                    ++ownerId;
                    owner({ownerId, roomId, QStringLiteral("业主%1").arg(ownerId), telephoneOf(ownerId, ownerId % 5),
                           "新进户"});
                    if (commercial && r % 2 == 0) unit({contractId, roomId});
                }
            }
        }

        // Complaints: the finished ones spread over the years, the open ones recent; each
        // department's complaints come to its own offices.
        Inserter complaint(
            c, QStringLiteral("投诉信息"),
            {"投诉编号", "流水号",   "部门编号", "部门名称", "管理处代号", "S_ID",    "投诉人",   "地址",
             "联系电话", "投诉类别", "投诉方式", "投诉时间", "投诉内容",   "接待人",  "处理状态", "处理结果",
             "处理时间", "调查情况", "回访人",   "回访时间", "结果满意度", "撤销时间"});
        Inserter step(
            c, QStringLiteral("投诉信息处理"),
            {"投诉编号", "处理部门", "处理岗位", "处理意见", "处理结果", "顺序号", "接受时间", "处理结束时间"});
        const int open = sizes.openComplaints >= 0
                             ? qMin(sizes.openComplaints, sizes.complaints)
                             : int(qint64(sizes.complaints) * (100 - sizes.finishedPercent) / 100);
        const int inProgress = open / 2;
        const int pending = open - inProgress;
        const int finished = sizes.complaints - pending - inProgress;
        const qint64 spanMinutes = qint64(sizes.years) * 365 * 24 * 60;
        const char *const answers[] = {"满意", "满意", "满意", "基本满意", "基本满意", "不满意"};
        int stepsLeft = qMax(0, sizes.steps - 2 * inProgress);
        for (int n = 1; n <= sizes.complaints; ++n) {
            const QString code = QStringLiteral("%1").arg(n, 8, 10, QLatin1Char('0'));
            const bool isPending = n > finished + inProgress;
            const bool isInProgress = !isPending && n > finished;
            // An even share for department "2": its complaints are every (100 / mainPercent)-th one.
            const bool main = sizes.otherDepartments == 0 ||
                              qint64(n) * sizes.mainPercent / 100 != qint64(n - 1) * sizes.mainPercent / 100;
            const int deptNumber = main ? 2 : 3 + pick(sizes.otherDepartments);
            const QString dept = QString::number(deptNumber);
            const std::vector<int> &ownOffices = officesOf[deptNumber];
            const QString officeCode = QString::number(ownOffices.empty() ? 1 + pick(sizes.offices)
                                                                          : ownOffices[pick(int(ownOffices.size()))]);
            const qint64 ageMinutes = isPending      ? pick(7 * 24 * 60)
                                      : isInProgress ? pick(30 * 24 * 60)
                                                     : 30 * 24 * 60 + qint64(random() % quint64(spanMinutes));
            const QDateTime when = now.addSecs(-60 * ageMinutes);
            const int s = 1 + pick(roomId);
            QString content = QString::fromUtf8(kPhrases[pick(15)]);
            if (n % 10 == 0) content = content.repeated(4);
            const QString status = isPending      ? QStringLiteral("尚未受理")
                                   : isInProgress ? QStringLiteral("处理中")
                                                  : QStringLiteral("处理完成");
            const QDateTime done = when.addSecs(3600LL * (1 + pick(72)));
            // Every tenth complaint has a typed address: only its telephone tells the household.
            const bool typed = n % 10 == 5;
            const bool isFinished = !isPending && !isInProgress;
            const QDateTime visited = done.addSecs(3600LL * (2 + pick(96)));
            const bool isVisited = isFinished && pick(100) < sizes.visitedPercent && visited < now;
            complaint({code,
                       n,
                       dept,
                       main ? QStringLiteral("物业服务中心") : QStringLiteral("部门%1").arg(dept),
                       officeCode,
                       typed ? QVariant() : QVariant(s),
                       QStringLiteral("业主%1").arg(s),
                       QStringLiteral("管理处地址%1室").arg(s),
                       telephoneOf(s, n % 4),
                       n % 3 ? QStringLiteral("维修质量") : QStringLiteral("环境卫生"),
                       QStringLiteral("电话"),
                       stamp(when),
                       content,
                       QStringLiteral("接待员二"),
                       status,
                       isFinished ? QVariant(QStringLiteral("已处理")) : QVariant(),
                       isFinished ? QVariant(stamp(done)) : QVariant(),
                       isPending ? QVariant() : QVariant(QStringLiteral("已核实")),
                       isVisited ? QVariant(QStringLiteral("接待员二")) : QVariant(),
                       isVisited ? QVariant(stamp(visited)) : QVariant(),
                       isVisited ? QVariant(QString::fromUtf8(answers[pick(6)])) : QVariant(),
                       isPending && n % 100 == 0 ? QVariant(stamp(QDateTime(when.date(), QTime(0, 0)))) : QVariant()});
            const QString firstPost = QStringLiteral("P%1-1").arg(dept);
            if (isInProgress) {
                step({code, dept, firstPost, QStringLiteral("请处理"), QVariant(), 1, stamp(when.addSecs(600)),
                      QVariant()});
                step({code, "3", "P3-1", QVariant(), QVariant(), 2, stamp(when.addSecs(600)), QVariant()});
            } else if (isFinished) {
                const int remaining = finished - n + 1;
                const int count = qMax(1, (stepsLeft + remaining - 1) / remaining);
                for (int k = 1; k <= count && stepsLeft > 0; ++k, --stepsLeft) {
                    const QString d = k == 1 ? dept : QString::number(3 + pick(sizes.departments - 3));
                    step({code, d, k == 1 ? firstPost : QStringLiteral("P%1-1").arg(d), QVariant(),
                          QStringLiteral("已处理"), k, stamp(when.addSecs(600)), stamp(done)});
                }
            }
        }
    });
    // The telephone digits that reception writes beside every telephone.
    db.execute(
        QStringLiteral("UPDATE 投诉信息 SET 联系电话号码 = tavimor_telephone_digits(联系电话)"
                       " WHERE 联系电话 IS NOT NULL"));
    for (const QString &index : std::as_const(indexes)) db.execute(index);
    db.execute(QStringLiteral("ANALYZE"));
    db.close();
    return timer.elapsed() / 1000.0;
}

Sizes years()
{
    Sizes s;
    s.complaints = 1000000;
    s.offices = 200;
    s.departments = 50;
    s.steps = 2000000;
    s.buildingsPerOffice = 25;
    s.roomsPerBuilding = 20;
    s.openComplaints = 2000;
    s.years = 10;
    s.visitedPercent = 90;
    s.mainPercent = 10;
    s.otherDepartments = 48;
    return s;
}

Sizes followUp()
{
    Sizes s;
    s.finishedPercent = 33;
    return s;
}

QString fileName(const Sizes &sizes)
{
    return QDir::temp().filePath(QStringLiteral("tavimor-bench-v4-%1c-%2o-%3d-%4s-%5b-%6r-%7f-%8open-%9y")
                                     .arg(sizes.complaints)
                                     .arg(sizes.offices)
                                     .arg(sizes.departments)
                                     .arg(sizes.steps)
                                     .arg(sizes.buildingsPerOffice)
                                     .arg(sizes.roomsPerBuilding)
                                     .arg(sizes.finishedPercent)
                                     .arg(sizes.openComplaints)
                                     .arg(sizes.years) +
                                 QStringLiteral("-%1v-%2m-%3x.sqlite")
                                     .arg(sizes.visitedPercent)
                                     .arg(sizes.mainPercent)
                                     .arg(sizes.otherDepartments));
}

void addMissingIndexes(const QString &file)
{
    Database db;
    db.openSqlite(file);
    bool added = false;
    for (const QString &statement : Scripts::statements(Scripts::text(QStringLiteral("schema.sqlite.sql")))) {
        const QString sql = statement.trimmed();
        const QStringList words = sql.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const int at = words.indexOf(QStringLiteral("INDEX"));
        if (!sql.startsWith(QLatin1String("CREATE")) || at < 0 || at + 1 >= words.size()) continue;
        const QVariant known = db.scalar(
            QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name = ?"), {words.at(at + 1)});
        if (!known.isNull()) continue;
        db.execute(sql);
        added = true;
    }
    if (added) db.execute(QStringLiteral("ANALYZE"));
    db.close();
}

QString ensure(const Sizes &sizes)
{
    const QString file = fileName(sizes);
    if (!QFile::exists(file)) {
        // Made under a name of its own and renamed when complete: a benchmark started meanwhile
        // never finds half a database under the shared name.
        const QString part = file + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
        generate(part, sizes);
        if (!QFile::rename(part, file)) QFile::remove(part);  // another run finished first
    } else {
        addMissingIndexes(file);  // one made before the schema gained an index
    }
    return file;
}

}  // namespace BenchDatabase
