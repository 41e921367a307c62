#include "ReceptionWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "HouseholdPanel.h"
#include "ReceptionParts.h"
#include "TimePanel.h"
#include "common/Clock.h"
#include "common/CodeName.h"
#include "common/Controls.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/InputLimits.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Program.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"

namespace {

const QString kFormat = QStringLiteral(
    "<序|<编号      |<投诉类别  |<投诉方式   |<投诉时间                |<投诉人  |<地址                      "
    " |<联系电话    "
    "      |<投诉内容            |<接待    |<处理状态  |<处理结果         |<处理时间|||");

// The design height of the fields' frame (it grows when a panel inside asks for more).
constexpr int kFrameHeight = 206;

}  // namespace

ReceptionWindow::ReceptionWindow(QWidget *parent) : QWidget(parent), m_store(gConn), m_property(gConn)
{
    setObjectName(QStringLiteral("frm投诉接待"));
    setWindowTitle(QStringLiteral("投诉接待"));
    MainArea::setOpensMaximized(this);
    resize(1100, 700);
    buildControls();
    load();
}

void ReceptionWindow::buildControls()
{
    // The register and its query controls --------------------------------------------------
    m_listTitle = new QLabel(QStringLiteral("投诉信息列表"), this);
    QFont bold = m_listTitle->font();
    bold.setBold(true);
    m_listTitle->setFont(bold);
    m_listTitle->setGeometry(8, 6, 110, 24);
    m_optMonth = named(new QRadioButton(QStringLiteral("默认（当月投诉信息）"), this), QStringLiteral("Option1(0)"));
    m_optMonth->setGeometry(124, 6, 176, 24);
    m_optMonth->setChecked(true);
    m_optRange = named(new QRadioButton(QStringLiteral("指定日期范围"), this), QStringLiteral("Option1(1)"));
    m_optRange->setGeometry(304, 6, 112, 24);
    m_from = makeDatePicker(this, QStringLiteral("DTPicker1(0)"));
    m_from->setGeometry(418, 6, 118, 24);
    makeCaption(this, QStringLiteral("至"), {542, 6, 18, 24});
    m_to = makeDatePicker(this, QStringLiteral("DTPicker1(1)"));
    m_to->setGeometry(562, 6, 118, 24);
    m_optComplainant = named(new QRadioButton(QStringLiteral("按投诉人查询"), this), QStringLiteral("Option1(3)"));
    m_optComplainant->setGeometry(694, 6, 112, 24);
    m_searchText = named(new QLineEdit(this), QStringLiteral("Text2"));
    m_searchText->setGeometry(808, 6, 112, 24);
    m_query = named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("Command2"));
    m_query->setGeometry(928, 5, 72, 26);

    m_grid = named(new FlexGrid(this), QStringLiteral("MSFlexGrid1"));
    m_model = m_grid->grid();
    m_model->setFormatString(kFormat, m_grid->font());
    m_grid->setFixedFirstColumn(true);
    m_grid->move(8, 36);

    // The fields of one complaint ----------------------------------------------------------
    // Laid out rather than placed, so that every field and button stays inside the frame from
    // the main window's first size on; the fields take the width the buttons leave them.
    m_frame = named(new QGroupBox(this), QStringLiteral("Frame1"));
    m_frame->setGeometry(8, 440, 1084, kFrameHeight);
    QWidget *f = m_frame;
    const auto label = [f](const QString &text) { return new QLabel(text, f); };
    m_code = named(new QLineEdit(f), QStringLiteral("Text1(5)"));
    m_code->setReadOnly(true);  // the key UpdateData rewrites by; codes are given, never typed
    m_code->setText(reception::kNoCodeYet);
    m_time = named(new QLineEdit(f), QStringLiteral("Text1(0)"));
    m_timeButton = named(new QPushButton(QStringLiteral("…"), f), QStringLiteral("Command9"));
    m_timeButton->setFixedWidth(30);
    m_category = named(new QComboBox(f), QStringLiteral("Combo4"));
    m_channel = named(new QComboBox(f), QStringLiteral("Combo5"));
    m_receiver = named(new QComboBox(f), QStringLiteral("Combo2"));
    m_receiver->setEditable(true);
    m_complainant = named(new QLineEdit(f), QStringLiteral("Text1(1)"));
    m_address = named(new QLineEdit(f), QStringLiteral("Text1(2)"));
    m_addressButton = named(new QPushButton(QStringLiteral("选择"), f), QStringLiteral("Command1"));
    m_addressButton->setFixedWidth(44);
    m_addressButton->setToolTip(QStringLiteral("从管理项目的楼宇、房间中选择投诉人"));
    m_telephone = named(new QLineEdit(f), QStringLiteral("Text1(3)"));
    m_content = named(new QPlainTextEdit(f), QStringLiteral("Text1(4)"));
    limitToColumn(m_complainant, QStringLiteral("投诉信息"), QStringLiteral("投诉人"));
    limitToColumn(m_address, QStringLiteral("投诉信息"), QStringLiteral("地址"));
    limitToColumn(m_telephone, QStringLiteral("投诉信息"), QStringLiteral("联系电话"));
    limitToColumn(m_receiver, QStringLiteral("投诉信息"), QStringLiteral("接待人"));
    // The household's earlier complaints, the lookup by telephone and the complaint sheet.
    m_household = new HouseholdPanel(this, f, m_telephone);
    for (QComboBox *combo : {m_category, m_channel, m_receiver}) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(6);
    }
    m_complainant->setMinimumWidth(96);
    // At the smallest window size too, the code box shows its whole "<保存时自动生成编号", the
    // time box a time with seconds and the telephone box a number with area code and separators:
    // the text, and the margins and frame that Qt puts around the seventeen x of a line edit's
    // size hint.
    const QFontMetrics metrics = m_code->fontMetrics();
    const int lineEditFrame = m_code->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x'));
    const auto holdWhole = [&](QLineEdit *box, const QString &text) {
        box->setMinimumWidth(metrics.horizontalAdvance(text) + lineEditFrame);
    };
    holdWhole(m_code, reception::kNoCodeYet);
    holdWhole(m_time, QStringLiteral("2026-12-31 23:59:59"));
    holdWhole(m_telephone, QStringLiteral("0571-8888 7777"));

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(8);
    const auto withButton = [](QWidget *field, QWidget *button) {
        auto *row = new QHBoxLayout;
        row->setSpacing(2);
        row->addWidget(field, 1);
        row->addWidget(button);
        return row;
    };
    fields->addWidget(label(QStringLiteral("编号")), 0, 0);
    fields->addWidget(m_code, 0, 1);
    fields->addWidget(label(QStringLiteral("投诉时间")), 0, 2);
    fields->addLayout(withButton(m_time, m_timeButton), 0, 3);
    fields->addWidget(label(QStringLiteral("投诉类别")), 0, 4);
    fields->addWidget(m_category, 0, 5);
    fields->addWidget(label(QStringLiteral("投诉方式")), 0, 6);
    fields->addWidget(m_channel, 0, 7);
    fields->addWidget(label(QStringLiteral("投诉人")), 1, 0);
    fields->addWidget(m_complainant, 1, 1);
    fields->addWidget(label(QStringLiteral("地址")), 1, 2);
    fields->addLayout(withButton(m_address, m_addressButton), 1, 3, 1, 3);
    fields->addWidget(label(QStringLiteral("联系电话")), 1, 6);
    fields->addLayout(withButton(m_telephone, m_household->lookupButton()), 1, 7);
    fields->addWidget(label(QStringLiteral("投诉内容")), 2, 0, Qt::AlignTop);
    fields->addWidget(m_content, 2, 1, 1, 7);
    fields->setRowStretch(2, 1);
    for (int column : {1, 3, 5, 7}) fields->setColumnStretch(column, 1);
    fields->setColumnStretch(3, 2);

    m_newButton = named(new QPushButton(reception::kNewCaption, f), QStringLiteral("Command3"));
    m_saveButton = named(new QPushButton(QStringLiteral("确定"), f), QStringLiteral("Command4"));
    m_voidButton = named(new QPushButton(QStringLiteral("投诉作废"), f), QStringLiteral("Command13"));
    m_exitButton = named(new QPushButton(QStringLiteral("退出"), f), QStringLiteral("Command5"));
    auto *buttons = new QGridLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_newButton, 0, 0);
    buttons->addWidget(m_saveButton, 0, 1);
    buttons->addWidget(m_voidButton, 1, 0);
    buttons->addWidget(m_exitButton, 1, 1);
    buttons->addWidget(m_household->sheetButton(), 2, 0, 1, 2);
    for (QPushButton *button : {m_newButton, m_saveButton, m_voidButton, m_exitButton, m_household->sheetButton()})
        button->setMinimumHeight(28);
    auto *hintTitle = label(QStringLiteral("提示"));
    hintTitle->setFont(bold);
    auto *hint = label(QStringLiteral("上表中红色表示尚未处理的投诉"));
    hint->setWordWrap(true);
    QPalette red = hint->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    hint->setPalette(red);

    auto *receiverRow = new QHBoxLayout;
    receiverRow->addWidget(label(QStringLiteral("接待人")));
    receiverRow->addWidget(m_receiver, 1);
    // The fields' frame, left to right: the fields, then the column of actions (接待人, the
    // buttons, the hint); the frame grows to the height its contents ask for.
    auto *actions = new QVBoxLayout;
    actions->setSpacing(8);
    actions->addLayout(receiverRow);
    actions->addLayout(buttons);
    actions->addWidget(hintTitle);
    actions->addWidget(hint);
    actions->addStretch(1);

    auto *frameLayout = new QHBoxLayout(m_frame);
    frameLayout->setContentsMargins(10, 10, 10, 8);
    frameLayout->setSpacing(14);
    frameLayout->addLayout(fields, 1);
    frameLayout->addLayout(actions);

    m_statusBar = named(new QStatusBar(this), QStringLiteral("StatusBar2"));
    m_statusBar->setSizeGripEnabled(false);
    const QStringList panelTexts = {QStringLiteral(" 部门"), QString(), QStringLiteral(" 岗位"), QString(), QString()};
    const int stretches[] = {0, 2, 0, 2, 3};
    for (int i = 0; i < 5; ++i) {
        auto *panel = named(new QLabel(panelTexts.at(i), m_statusBar), QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        m_statusBar->addWidget(panel, stretches[i]);
        m_panels.append(panel);
    }

    // The address panel ---------------------------------------------------------------------
    m_addressPanel = named(new QFrame(this), QStringLiteral("Picture3"));
    m_addressPanel->setFrameShape(QFrame::Panel);
    m_addressPanel->setFrameShadow(QFrame::Raised);
    m_addressPanel->setLineWidth(2);
    m_addressPanel->setAutoFillBackground(true);
    m_addressPanel->resize(380, 340);
    auto *officeCaption = named(new QLabel(QStringLiteral("管理项目"), m_addressPanel), QStringLiteral("Label6"));
    officeCaption->setGeometry(8, 8, 60, 24);
    m_offices = named(new QComboBox(m_addressPanel), QStringLiteral("Combo3"));
    m_offices->setGeometry(70, 8, 302, 24);
    m_tree = named(new QTreeWidget(m_addressPanel), QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    m_tree->setGeometry(8, 38, 364, 294);
    m_addressPanel->hide();
    // The tree's two images, building and room, are the style's folder and file icons.
    named(new QObject(this), QStringLiteral("ImageList1"));

    m_timePanel = new TimePanel(this);
    m_timePanel->hide();

    connect(m_household, &HouseholdPanel::householderChosen, this,
            [this](const TelephoneMatch &match) { takeHouseholder(match.householder, match.officeCode); });
    connect(m_telephone, &QLineEdit::editingFinished, this, [this] {
        if (!m_telephone->text().trimmed().isEmpty()) showHistory();
    });

    // New rows leave no complaint shown: input typed into a shown one is not dropped unasked (a
    // new complaint being typed stays as it is).
    connect(m_query, &QPushButton::clicked, this, [this] {
        if (isAdding() || mayDropInput()) LoadComplaintList();
    });
    // A click or a move with the keys: the fields always show the row the user is on.
    connect(m_grid, &FlexGrid::rowChosen, this, [this] { rowChosen(); });
    connect(m_newButton, &QPushButton::clicked, this, [this] { newOrCancel(); });
    connect(m_saveButton, &QPushButton::clicked, this, [this] { confirm(); });
    connect(m_voidButton, &QPushButton::clicked, this, [this] { voidCurrent(); });
    connect(m_exitButton, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });
    connect(m_addressButton, &QPushButton::clicked, this, [this] { toggleAddressPanel(); });
    connect(m_timeButton, &QPushButton::clicked, this, [this] { openTimePanel(); });
    connect(m_offices, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { officeChosen(); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) { nodeClicked(item); });
    // Typing an address of one's own drops the room picked from the register.
    connect(m_address, &QLineEdit::textEdited, this, [this] { m_roomId = 0; });
    connect(m_timePanel, &TimePanel::accepted, this, [this](const QString &value) {
        m_time->setText(value);
        m_timePanel->hide();
    });
    connect(m_timePanel, &TimePanel::cancelled, m_timePanel, &QWidget::hide);
}

void ReceptionWindow::load()
{
    WaitCursor wait;
    m_panels[1]->setText(QLatin1Char(' ') + gDeptName);
    m_panels[3]->setText(QLatin1Char(' ') + gPostName);
    for (int c = m_model->columns() - 3; c < m_model->columns(); ++c) m_model->setWidthTwips(c, 0);

    const auto fillCodes = [](QComboBox *combo, const QStringList &entries) {
        combo->clear();
        combo->addItems(entries);
        combo->setCurrentIndex(-1);
    };
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] { fillCodes(m_category, m_store.categories()); });
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] { fillCodes(m_channel, m_store.channels()); });
    LoadComplaintList();
    const QDate today = Clock::today();
    m_from->setDate(today);
    m_to->setDate(today);
    m_panels[4]->clear();
    LoadOffices();
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        m_receiver->clear();
        m_receiver->addItems(m_store.receivers(gDeptCode));
        m_receiver->setCurrentIndex(loggedInReceiver());
    });
    rememberFields();
}

int ReceptionWindow::loggedInReceiver() const
{
    for (int i = 0; i < m_receiver->count(); ++i)
        if (m_receiver->itemText(i).trimmed() == gUserName.trimmed()) return i;
    return -1;
}

void ReceptionWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutWindow();
}

void ReceptionWindow::layoutWindow()
{
    const int gap = Twips::toPixels(45);
    const int statusHeight = m_statusBar->sizeHint().height();
    m_statusBar->setGeometry(0, height() - statusHeight, width(), statusHeight);
    const int frameHeight = qMax(kFrameHeight, m_frame->minimumSizeHint().height());
    // The household's complaints below the fields take a fifth of the height, within bounds.
    const int householdHeight = qBound(100, height() / 5, 160);
    const int household = householdHeight + gap;
    m_frame->setGeometry(m_frame->x(), qMax(m_grid->y() + 40, height() - frameHeight - household - statusHeight - gap),
                         qMax(200, width() - 2 * m_frame->x()), frameHeight);
    m_household->setGeometry(m_frame->x(), m_frame->y() + m_frame->height() + gap, m_frame->width(), householdHeight);
    m_grid->resize(m_frame->width(), qMax(0, m_frame->y() - m_grid->y() - gap));
    if (m_addressPanel->isVisible()) placeAbove(m_addressPanel, m_addressButton);
    if (m_timePanel->isVisible()) placeAbove(m_timePanel, m_timeButton);
}

// The panel's bottom edge on the button's top, its right edge on the button's right (kept inside
// the window).
void ReceptionWindow::placeAbove(QWidget *panel, QWidget *button)
{
    const QPoint at = button->mapTo(this, QPoint(0, 0));
    const int left = at.x() + button->width() - panel->width();
    panel->move(qMax(0, left), qMax(0, at.y() - panel->height()));
}

// Entry ------------------------------------------------------------------------------------------

void ReceptionWindow::newOrCancel()
{
    if (!isAdding()) {
        if (!mayDropInput()) return;
        m_newButton->setText(reception::kCancelCaption);
        for (QLineEdit *field : {m_time, m_complainant, m_address, m_telephone, m_code}) field->clear();
        m_content->clear();
        m_roomId = 0;
        m_keptOffice.clear();
        m_keptCategory.clear();
        m_keptChannel.clear();
        for (QComboBox *combo : {m_offices, m_category, m_channel}) combo->setPlaceholderText(QString());
        m_time->setText(DateText::minutes(Clock::now()));
        // A new complaint always has an office when the department has any: the one shown last
        // may have had none, or one the list does not offer.
        if (m_offices->currentIndex() < 0 && m_offices->count() > 0) m_offices->setCurrentIndex(0);
        // The one who takes the call receives the complaint, not the receiver of the complaint
        // viewed before; a user the department's list does not hold keeps the selection.
        if (const int me = loggedInReceiver(); me >= 0) m_receiver->setCurrentIndex(me);
        m_complainant->setFocus();
        m_code->setText(QStringLiteral("<保存时自动生成>"));
        m_exitButton->setEnabled(true);
        m_saveButton->setEnabled(true);
        m_voidButton->setEnabled(false);
        m_household->clear();
        rememberFields();
        return;
    }
    m_newButton->setText(reception::kNewCaption);
    clearShownComplaint();
    showCurrentRow();
}

void ReceptionWindow::confirm()
{
    if (isAdding()) SaveData();
    else UpdateData();
}

// The checks in the order the user is told about them, and the values to store. Nothing is
// written when a check fails.
bool ReceptionWindow::readComplaint(ComplaintInput *input, bool forUpdate)
{
    if (m_complainant->text().isEmpty()) {
        Messages::plain(QStringLiteral("请输入投诉人"));
        return false;
    }
    if (m_content->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("请输入投诉内容"));
        return false;
    }
    if (!forUpdate && m_category->currentIndex() < 0) {
        Messages::plain(QStringLiteral("请选择投诉类别！"));
        return false;
    }
    if (!forUpdate && m_channel->currentIndex() < 0) {
        Messages::plain(QStringLiteral("请选择投诉方式！"));
        return false;
    }
    // Without an office no accepting post would ever see the complaint.
    if (!forUpdate && m_offices->currentIndex() < 0 && !mOffices.isEmpty()) {
        Messages::plain(QStringLiteral("请选择管理项目！"));
        return false;
    }
    const QString timeText = m_time->text();
    const QDateTime time = DateText::parse(timeText);
    if (!timeText.isEmpty() && !time.isValid()) {
        Messages::plain(QStringLiteral("日期时间非法"));
        return false;
    }
    if (time.isValid() && !DateText::storable(time.date())) {
        Messages::plain(DateText::outOfRangeMessage(QStringLiteral("投诉时间")));
        return false;
    }
    input->complainant = m_complainant->text();
    input->address = m_address->text();
    input->telephone = m_telephone->text();
    input->content = m_content->toPlainText();
    input->time = time;
    input->category = m_category->currentIndex() >= 0 ? CodeName::name(m_category->currentText()) : m_keptCategory;
    input->channel = m_channel->currentIndex() >= 0 ? CodeName::name(m_channel->currentText()) : m_keptChannel;
    const int office = m_offices->currentIndex();
    input->officeCode = office >= 0 && office < mOffices.size() ? mOffices.at(office).code : QString();
    if (forUpdate && office < 0) input->officeCode = m_keptOffice;
    input->receiver = m_receiver->currentText();
    input->roomId = m_roomId;
    input->deptCode = gDeptCode;
    input->deptName = gDeptName;
    return true;
}

void ReceptionWindow::SaveData()
{
    ComplaintInput input;
    if (!readComplaint(&input, false)) return;
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const SavedComplaint saved = m_store.insert(input);
        m_code->setText(saved.code);
        if (!putRow(m_model->rowCount(), saved.id)) return;
        m_grid->setCurrentRow(m_model->rowCount() - 1);
        showCurrentRow();
    });
}

void ReceptionWindow::UpdateData()
{
    if (rowOfShownComplaint() < 0) {
        Messages::plain(QStringLiteral("请先在列表中选择一条投诉"));
        return;
    }
    ComplaintInput input;
    if (!readComplaint(&input, true)) return;
    try {
        WaitCursor wait;
        const QString code = m_code->text();
        const std::optional<qint64> id = m_store.update(code, input);
        if (!id) return;
        rememberFields();
        m_code->setText(code);
        // The row of this complaint, wherever the register shows it.
        const int row = rowOfId(*id);
        if (row < 0 || !putRow(row, *id)) return;
        m_grid->setCurrentRow(row);
        showCurrentRow();
    } catch (const DbError &e) {
        Messages::plain(QStringLiteral("出现错误\r\n%1 %2").arg(e.number()).arg(e.description()));
    }
}

// The complaint the fields show; empty while a new one is entered.
QString ReceptionWindow::shownCode() const
{
    const QString code = m_code->text();
    if (isAdding() || code.startsWith(QLatin1Char('<'))) return QString();
    return code;
}

void ReceptionWindow::showHistory()
{
    m_household->showHousehold(Household{m_roomId, m_telephone->text()}, shownCode());
}

// Unsaved input ----------------------------------------------------------------------------------

QStringList ReceptionWindow::fieldTexts() const
{
    return {m_time->text(),           m_complainant->text(),     m_address->text(),
            m_telephone->text(),      m_content->toPlainText(),  m_category->currentText(),
            m_channel->currentText(), m_receiver->currentText(), QString::number(m_offices->currentIndex()),
            QString::number(m_roomId)};
}

void ReceptionWindow::rememberFields() { m_loadedFields = fieldTexts(); }

bool ReceptionWindow::mayDropInput()
{
    if (fieldTexts() == m_loadedFields) return true;
    return Messages::ask(QStringLiteral("投诉信息尚未保存，是否放弃修改？"), Messages::programTitle(),
                         Messages::Icon::Question);
}

void ReceptionWindow::rowChosen()
{
    if (!mayDropInput()) {
        // The row the user was on stays current, so that the grid and the fields agree.
        m_grid->setCurrentRow(m_grid->rowBeforeChoice());
        return;
    }
    showCurrentRow();
}

void ReceptionWindow::closeEvent(QCloseEvent *event)
{
    if (!Program::isEnding() && !mayDropInput()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
