#include "WorkDesk.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "common/Controls.h"
#include "common/ErrorReports.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"
#include "data/DbError.h"
#include "sheet/SheetPreview.h"

WorkDesk::WorkDesk(QWidget *window, Database &db)
    : window(window)
    , details(window)
    , frame2(makeFrame(window, QStringLiteral("Frame2"), QStringLiteral("处理")))
    , target(frame2, db)
    , m_db(db)
{
}

void WorkDesk::addButtons()
{
    finish = makeButton(frame2, QStringLiteral("Command1"), QStringLiteral("处理完成"));
    forward = makeButton(frame2, QStringLiteral("Command2"), QStringLiteral("转呈其他领导阅处"));
    review = makeButton(frame2, QStringLiteral("Command4"), QStringLiteral("阅处情况查阅"));
    refresh = makeButton(window, QStringLiteral("Command5"), QStringLiteral("刷新"));
    close = makeButton(window, QStringLiteral("Command6"), QStringLiteral("退出"));
    sheet = makeButton(window, QStringLiteral("Command7"), QStringLiteral("打印处理单"));
    status = named(new QStatusBar(window), QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    QObject::connect(close, &QPushButton::clicked, window, [w = window] { MainArea::closeWindow(w); });
}

void WorkDesk::offerSheet(std::function<QString()> selectedCode)
{
    QObject::connect(sheet, &QPushButton::clicked, window,
                     [w = window, selectedCode = std::move(selectedCode)] { openComplaintSheet(w, selectedCode()); });
}

void WorkDesk::start(std::function<void()> refreshWindow)
{
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        target.build(m_db);
    });
    m_refresh = refreshWindow;
    refreshOnEveryActivation(window, std::move(refreshWindow));
    window->resize(Twips::toPixels(14100), Twips::toPixels(11100));
}

WorkDesk::Geometry WorkDesk::layout()
{
    const int width = Twips::fromPixels(window->width());
    const int height = Twips::fromPixels(window->height());
    const int barHeight = status->sizeHint().height();
    status->setGeometry(0, window->height() - barHeight, window->width(), barHeight);
    const int frameTop = height - Twips::fromPixels(barHeight) - 60 - 4905;
    placeTwips(details.frame, 60, frameTop, 4095, 4905);
    const int frame2Width = width - 60 - 4200;
    placeTwips(frame2, 4200, frameTop, frame2Width, 4905);
    const int targetLeft = frame2Width - 45 - 4305;
    placeTwips(target.frame, targetLeft, 1140, 4305, 3675);
    placeTwips(finish, targetLeft, 480, 1305, 495);
    placeTwips(forward, targetLeft + 1305 + 15, 480, 1665, 495);
    placeTwips(review, targetLeft + 1305 + 15 + 1665 + 15, 480, 1275, 495);
    const int closeLeft = width - 300 - 1095;
    placeTwips(close, closeLeft, 120, 1095, 315);
    placeTwips(refresh, closeLeft - 1500, 120, 1095, 315);
    placeTwips(sheet, closeLeft - 3000, 120, 1305, 315);
    return {width, frameTop, targetLeft - 60 - 90};
}

bool WorkDesk::requireTarget() const
{
    if (!target.hasDepartment()) {
        Messages::plain(QStringLiteral("必须选择转呈部门"));
        return false;
    }
    if (target.post->text().trimmed().isEmpty()) {
        Messages::plain(QStringLiteral("必须选择岗位"));
        return false;
    }
    return true;
}

bool WorkDesk::store(const std::function<void()> &write)
{
    bool stored = false;
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        try {
            WaitCursor wait;
            write();
            stored = true;
        } catch (const ConcurrentChange &e) {
            Messages::information(e.description());
            if (m_refresh) m_refresh();
        }
    });
    return stored;
}

void WorkDesk::setActionsEnabled(bool targetEnabled, bool reviewEnabled, bool forwardEnabled, bool finishEnabled)
{
    target.frame->setEnabled(targetEnabled);
    review->setEnabled(reviewEnabled);
    forward->setEnabled(forwardEnabled);
    finish->setEnabled(finishEnabled);
}
