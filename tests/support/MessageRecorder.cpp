#include "MessageRecorder.h"

#include "common/MainArea.h"
#include "common/Program.h"

MessageRecorder::MessageRecorder() : m_previous(Messages::setSink(this)) {}

MessageRecorder::~MessageRecorder() { Messages::setSink(m_previous); }

Messages::Answer MessageRecorder::show(const Messages::Message &message)
{
    messages.append(message);
    if (message.buttons == Messages::Buttons::Ok) return Messages::Answer::Ok;
    if (answers.isEmpty()) return Messages::Answer::Yes;
    return answers.takeFirst();
}

QStringList MessageRecorder::texts() const
{
    QStringList list;
    for (const auto &message : messages) list << message.text;
    return list;
}

namespace {
ModalDriver *currentDriver = nullptr;
bool programEnded = false;
int programExitCode = 0;
}  // namespace

ModalDriver::ModalDriver(std::function<int(QDialog *)> drive) : m_drive(std::move(drive))
{
    currentDriver = this;
    MainArea::setModalRunner(&ModalDriver::run);
}

ModalDriver::~ModalDriver()
{
    MainArea::setModalRunner(nullptr);
    currentDriver = nullptr;
}

int ModalDriver::run(QDialog *dialog)
{
    if (!currentDriver) return dialog->exec();
    ++currentDriver->runs;
    dialog->show();
    return currentDriver->m_drive(dialog);
}

ProgramEndRecorder::ProgramEndRecorder()
{
    programEnded = false;
    programExitCode = 0;
    Program::resetEnding();
    Program::setEndHandler([](int code) {
        programEnded = true;
        programExitCode = code;
    });
}

ProgramEndRecorder::~ProgramEndRecorder()
{
    Program::setEndHandler(nullptr);
    Program::resetEnding();
}

bool ProgramEndRecorder::ended() { return programEnded; }

int ProgramEndRecorder::exitCode() { return programExitCode; }
