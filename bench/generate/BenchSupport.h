#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchDatabase.h"
#include "common/Messages.h"

// What every benchmark needs besides its database.
namespace BenchSupport {

// No message box may wait for a user during a run: they are printed instead. Installed for its lifetime.
class PrintedMessages : public Messages::Sink {
public:
    PrintedMessages();
    ~PrintedMessages() override;
    Messages::Answer show(const Messages::Message &message) override;
    int count = 0;

private:
    Messages::Sink *m_previous;
};

// The application of a benchmark: offscreen unless QT_QPA_PLATFORM names a platform, with its
// message boxes printed. At its end it says when a message was shown: such a run is not valid.
class Bench {
public:
    Bench(int &argc, char **argv);
    ~Bench();
    // The runs asked for as the first argument: at least `least`, `fallback` when none is given.
    static int runs(int argc, char **argv, int fallback, int least = 1);

private:
    QApplication m_app;

public:
    PrintedMessages messages;
};

// The benchmark database of `sizes`, made when missing, opened as gConn: the shared file, or for a
// benchmark that writes a private copy of it in `folder`. Says which file it is and how long it took
// to make or find.
QString openDatabase(const BenchDatabase::Sizes &sizes = BenchDatabase::Sizes(), const QString &folder = QString());

double median(std::vector<double> values);
// The median milliseconds of `runs` runs of `work` (given the run's number).
double medianMs(int runs, const std::function<void(int)> &work);
// The same, as wall-clock time and as the process's processor time: on a busy machine the
// second is what the run would take on an idle one (the program has one thread).
struct Times {
    double wall = 0;
    double cpu = 0;
};
Times medianTimes(int runs, const std::function<void(int)> &work);
// One run of `work`.
Times timeOf(const std::function<void()> &work);

// A figure of /proc/self/status in MB: "VmRSS:" (resident now) or "VmHWM:" (the peak so far).
double processMb(const char *key);
// Lets the peak of the next step be measured on its own.
void resetPeak();

// A private copy of the shared benchmark database of `sizes` in `folder`, for benchmarks that write.
QString workingCopy(const QString &folder, const BenchDatabase::Sizes &sizes);

// A control of a window by its object name; a missing one ends the run.
template <typename T>
T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromUtf8(name));
    if (!found) {
        std::fprintf(stderr, "no control %s\n", name);
        std::abort();
    }
    return found;
}

}  // namespace BenchSupport
