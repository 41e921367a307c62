#include "HouseholdPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Clock.h"
#include "common/Controls.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/WaitCursor.h"
#include "sheet/SheetPreview.h"

namespace {

const QString kFormat = QStringLiteral(
    "<编号      |<投诉时间            |<投诉类别    |<处理状态  |<投诉内容                              ");

}  // namespace

HouseholdPanel::HouseholdPanel(QWidget *window, QWidget *fields, QLineEdit *telephone)
    : QGroupBox(QStringLiteral("本户投诉记录"), window)
    , m_history(gConn)
    , m_property(gConn)
    , m_window(window)
    , m_telephone(telephone)
{
    setObjectName(QStringLiteral("Frame2"));
    m_repeat = named(new QLabel(this), QStringLiteral("Label8"));
    QPalette red = m_repeat->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_repeat->setPalette(red);
    QFont bold = m_repeat->font();
    bold.setBold(true);
    m_repeat->setFont(bold);
    m_grid = named(new FlexGrid(this), QStringLiteral("MSFlexGrid2"));
    m_grid->grid()->setFormatString(kFormat, m_grid->font());
    m_grid->setToolTip(QStringLiteral("双击一行打开该投诉的处理单"));
    // The earlier complaints' short columns keep their widths; their contents take the rest.
    m_grid->horizontalHeader()->setStretchLastSection(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(2);
    layout->addWidget(m_repeat);
    layout->addWidget(m_grid, 1);

    m_lookup = makeButton(fields, QStringLiteral("Command10"), QStringLiteral("按电话查找"));
    m_lookup->setToolTip(QStringLiteral("按联系电话查找本部门管理项目的住户"));
    m_sheet = makeButton(fields, QStringLiteral("Command11"), QStringLiteral("打印处理单"));
    m_sheet->setEnabled(false);
    m_list = named(new QListWidget(window), QStringLiteral("List2"));
    m_list->resize(460, 180);
    m_list->hide();

    connect(m_lookup, &QPushButton::clicked, this, [this] { lookUp(); });
    // A list of matches for another number than the one in the box is not offered.
    connect(m_telephone, &QLineEdit::textEdited, m_list, &QWidget::hide);
    connect(m_sheet, &QPushButton::clicked, this, [this] { openComplaintSheet(m_window, m_shownCode); });
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { choose(m_list->row(item)); });
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { choose(m_list->row(item)); });
    connect(m_grid, &FlexGrid::cellDoubleClicked, this,
            [this](int row, int) { openComplaintSheet(m_window, m_grid->grid()->text(row, 0)); });
}

void HouseholdPanel::clear(const QString &shownCode)
{
    m_list->hide();
    m_shownCode = shownCode;
    // The sheet is that of the complaint the fields show; one being entered has none yet.
    m_sheet->setEnabled(!shownCode.isEmpty());
    m_grid->grid()->clearRows();
    m_repeat->clear();
}

void HouseholdPanel::showHousehold(const Household &household, const QString &shownCode)
{
    clear(shownCode);
    if (!household.isKnown()) return;
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const HouseholdComplaints found = m_history.read(household, Clock::now(), shownCode);
        GridModel *model = m_grid->grid();
        {
            GridModel::Bulk bulk(*model);
            for (const HistoryEntry &e : found.entries) {
                const QString cells[] = {e.code, DateText::minutes(e.time), e.category, e.status, e.content};
                bulk.append(cells, 5);
            }
        }
        model->growWidthsToFit(m_grid->font());
        if (found.recent >= 1) m_repeat->setText(QStringLiteral("该户近30天内已投诉%1次").arg(found.recent));
    });
}

void HouseholdPanel::lookUp()
{
    m_list->hide();
    const QString digits = Telephone::digits(m_telephone->text());
    if (digits.size() < kLookupMinDigits) {
        Messages::plain(QStringLiteral("请输入至少4位电话号码"));
        return;
    }
    bool more = false;
    const bool read = ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        m_matches = m_property.householdersByTelephone(gDeptCode, digits, kLookupLimit, &more);
    });
    if (!read) return;
    if (m_matches.isEmpty()) {
        Messages::plain(QStringLiteral("没有找到该电话的住户"));
        return;
    }
    m_list->clear();
    for (const TelephoneMatch &m : m_matches)
        m_list->addItem(m.householder.name + QLatin1Char(' ') + m.householder.address + QLatin1Char(' ') +
                        m.householder.telephone);
    if (more) {
        auto *hint = new QListWidgetItem(QStringLiteral("……只列出前%1户，请输入更多号码").arg(kLookupLimit), m_list);
        hint->setFlags(Qt::NoItemFlags);
    }
    placeList();
    m_list->show();
    m_list->raise();
    m_list->setFocus();
}

void HouseholdPanel::choose(int row)
{
    // A click can also activate the item: the first of the two signals takes the pick.
    if (m_list->isHidden() || row < 0 || row >= m_matches.size()) return;
    const TelephoneMatch match = m_matches.at(row);
    m_list->hide();
    emit householderChosen(match);
}

// Below the telephone box, its right edge on the lookup button's, kept inside the window.
void HouseholdPanel::placeList()
{
    const QPoint box = m_telephone->mapTo(m_window, QPoint(0, m_telephone->height()));
    const QPoint button = m_lookup->mapTo(m_window, QPoint(m_lookup->width(), 0));
    int left = qMax(0, button.x() - m_list->width());
    int top = box.y();
    if (top + m_list->height() > m_window->height()) top = qMax(0, box.y() - m_telephone->height() - m_list->height());
    m_list->move(left, top);
}
