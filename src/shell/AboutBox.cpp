#include "AboutBox.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Platform.h"

namespace {

// The program's emblem: a speech bubble over a roof, drawn rather than loaded.
class Emblem : public QWidget {
public:
    explicit Emblem(QWidget *parent) : QWidget(parent) { setFixedSize(64, 64); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(24, 78, 140));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        p.setBrush(Qt::white);
        const QPointF roof[] = {{12, 30}, {32, 14}, {52, 30}};
        p.drawPolygon(roof, 3);
        p.drawRect(QRectF(18, 30, 28, 18));
        p.setBrush(QColor(240, 160, 40));
        p.drawEllipse(QRectF(26, 34, 12, 10));
    }
};

}  // namespace

AboutBox::AboutBox(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于Tavimor系统2011版"));

    auto *picture = new Emblem(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    auto *title = new QLabel(Messages::programTitle() + QStringLiteral(TAVIMOR_VERSION), this);
    title->setObjectName(QStringLiteral("Label7"));
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    auto *suite = new QLabel(QStringLiteral("Tavimor系统2011版的一部分"), this);
    suite->setObjectName(QStringLiteral("lblTitle"));
    auto *versionCaption = new QLabel(QStringLiteral("版本"), this);
    versionCaption->setObjectName(QStringLiteral("lblVersion"));
    auto *version = new QLabel(QStringLiteral(TAVIMOR_VERSION), this);
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *warning1 = new QLabel(QStringLiteral("警告：本计算机程序受著作权法和国际条约保护。"), this);
    warning1->setObjectName(QStringLiteral("Label2"));
    auto *warning2 = new QLabel(QStringLiteral("未经授权擅自复制或传播本程序或其中任何部分，将受到严厉的民事及刑事制裁"
                                               "，并将在法律许可的最大限度内受到追诉。"),
                                this);
    warning2->setObjectName(QStringLiteral("Label3"));
    warning2->setWordWrap(true);
    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto *sysInfo = new QPushButton(QStringLiteral("系统信息"), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(title, 0, 1, 1, 2);
    layout->addWidget(suite, 1, 1, 1, 2);
    layout->addWidget(versionCaption, 2, 1);
    layout->addWidget(version, 2, 2);
    layout->addWidget(line, 3, 0, 1, 4);
    layout->addWidget(warning1, 4, 0, 1, 3);
    layout->addWidget(warning2, 5, 0, 2, 3);
    layout->addWidget(ok, 4, 3);
    layout->addWidget(sysInfo, 5, 3);
    layout->setColumnStretch(2, 1);
    setFixedSize(sizeHint().expandedTo(QSize(520, 240)));

    connect(ok, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });
    connect(sysInfo, &QPushButton::clicked, this, &AboutBox::StartSysInfo);
}

void AboutBox::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        CenterInMain(this);
    }
}

void AboutBox::StartSysInfo()
{
    const QString tool = Platform::systemInformationTool();
    if (tool.isEmpty() || !Platform::startProgram(tool)) {
        Messages::show(QStringLiteral("此时系统信息不可用"), Messages::programTitle());
    }
}
