#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <ctime>

#include "BenchDatabase.h"
#include "common/Session.h"

namespace BenchSupport {

PrintedMessages::PrintedMessages() : m_previous(Messages::setSink(this)) {}

PrintedMessages::~PrintedMessages() { Messages::setSink(m_previous); }

Messages::Answer PrintedMessages::show(const Messages::Message &message)
{
    std::printf("message: %s\n", qPrintable(message.text));
    ++count;
    return message.buttons == Messages::Buttons::YesNo ? Messages::Answer::Yes : Messages::Answer::Ok;
}

namespace {

int &offscreenUnlessNamed(int &argc)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return argc;
}

}  // namespace

Bench::Bench(int &argc, char **argv) : m_app(offscreenUnlessNamed(argc), argv) {}

Bench::~Bench()
{
    if (messages.count > 0) std::printf("%d messages shown: the run is not valid\n", messages.count);
}

int Bench::runs(int argc, char **argv, int fallback, int least)
{
    return argc > 1 ? qMax(least, atoi(argv[1])) : fallback;
}

QString openDatabase(const BenchDatabase::Sizes &sizes, const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    const QString file = folder.isEmpty() ? BenchDatabase::ensure(sizes) : workingCopy(folder, sizes);
    std::printf("database %s (%.1f s to make or find)\n", qPrintable(file), timer.elapsed() / 1000.0);
    std::fflush(stdout);
    gConn.openSqlite(file);
    return file;
}

double median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double medianMs(int runs, const std::function<void(int)> &work) { return medianTimes(runs, work).wall; }

Times timeOf(const std::function<void()> &work)
{
    QElapsedTimer timer;
    const std::clock_t start = std::clock();
    timer.start();
    work();
    return {timer.nsecsElapsed() / 1e6, 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC};
}

Times medianTimes(int runs, const std::function<void(int)> &work)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const Times t = timeOf([&] { work(i); });
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return {median(wall), median(cpu)};
}

double processMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    const QByteArray prefix(key);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix)) return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

QString workingCopy(const QString &folder, const BenchDatabase::Sizes &sizes)
{
    const QString shared = BenchDatabase::ensure(sizes);
    const QString file = folder + QStringLiteral("/bench.sqlite");
    QFile::remove(file);
    if (!QFile::copy(shared, file)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(shared));
        std::abort();
    }
    QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return file;
}

}  // namespace BenchSupport
