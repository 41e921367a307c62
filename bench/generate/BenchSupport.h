#pragma once

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

// A figure of /proc/self/status in MB: "VmRSS:" (resident now) or "VmHWM:" (the peak so far).
double processMb(const char *key);
// Lets the peak of the next step be measured on its own.
void resetPeak();

// A private copy of the shared benchmark database in `folder`, for benchmarks that write.
QString workingCopy(const QString &folder);
// The same of the database for other sizes.
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
