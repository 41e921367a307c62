#include "ReceptionWindow.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "TimePanel.h"
#include "common/Clock.h"
#include "common/CodeName.h"
#include "common/ErrorReports.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/WaitCursor.h"

namespace {

// Node keys of the address tree: "$" + L_ID for a building, "@" + ... for a room or unit.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kRoomRole = Qt::UserRole + 1;    // S_ID of a room or unit
constexpr int kUnitRoom = Qt::UserRole + 2;    // room number of a let unit
constexpr int kUnitTenant = Qt::UserRole + 3;  // tenant of a let unit

}  // namespace

// The time panel ---------------------------------------------------------------------------------

void ReceptionWindow::openTimePanel()
{
    m_timePanel->setValue(m_time->text());
    setTag(m_timePanel, QStringLiteral("0"));
    LoadTime(m_time->text());
    placeAbove(m_timePanel, m_timeButton);
    m_timePanel->show();
    m_timePanel->raise();
}

void ReceptionWindow::LoadTime(const QString &text)
{
    if (!m_timePanel->load(text, Clock::today())) Messages::plain(QStringLiteral("日期时间非法"));
}

// The address panel ------------------------------------------------------------------------------

void ReceptionWindow::LoadOffices()
{
    QSignalBlocker block(m_offices);
    m_offices->clear();
    mOffices.clear();
    ErrorReports::guard(ErrorReports::Kind::NumberedTitled, [&] {
        for (const Office &office : m_property.offices(gDeptCode)) {
            m_offices->addItem(CodeName::join(office.code, office.name), office.commercial);
            mOffices.append(office);
        }
    });
    m_offices->setCurrentIndex(m_offices->count() > 0 ? 0 : -1);
    block.unblock();
    officeChosen();
}

void ReceptionWindow::officeChosen()
{
    if (m_offices->currentIndex() < 0 || m_offices->count() == 0) return;
    WaitCursor wait;
    LoadBuildingTree();
}

void ReceptionWindow::LoadBuildingTree()
{
    const QString office = CodeName::code(m_offices->currentText());
    ErrorReports::guard(ErrorReports::Kind::NumberedTitled, [&] {
        const QVector<Building> buildings = m_property.buildings(office);
        m_tree->clear();
        const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
        for (const Building &building : buildings) {
            auto *item = new QTreeWidgetItem(m_tree, {building.address});
            item->setData(0, kKeyRole, QStringLiteral("$") + QString::number(building.id));
            item->setIcon(0, icon);
        }
    });
}

void ReceptionWindow::nodeClicked(QTreeWidgetItem *item)
{
    if (!item || m_tree->topLevelItemCount() == 0) return;
    const QString key = item->data(0, kKeyRole).toString();
    const bool commercial = m_offices->currentData().toInt() == 1;
    const QIcon roomIcon = style()->standardIcon(QStyle::SP_FileIcon);
    WaitCursor wait;
    const auto picked = [&] {
        m_addressPanel->hide();
        m_content->setFocus();
    };
    ErrorReports::guard(ErrorReports::Kind::NumberedTitled, [&] {
        if (key.startsWith(QLatin1Char('$')) && item->childCount() == 0) {
            const qint64 building = key.mid(1).toLongLong();
            m_tree->setEnabled(false);
            if (!commercial) {
                for (const RoomEntry &room : m_property.rooms(building)) {
                    auto *node = new QTreeWidgetItem(item, {room.text});
                    node->setData(0, kKeyRole, QStringLiteral("@%1 %2").arg(room.roomId).arg(room.householderId));
                    node->setData(0, kRoomRole, room.roomId);
                    node->setIcon(0, roomIcon);
                }
            } else {
                const QString office = CodeName::code(m_offices->currentText());
                for (const LetUnit &unit : m_property.letUnits(office, building)) {
                    auto *node = new QTreeWidgetItem(item, {unit.room + QLatin1Char(' ') + unit.tenant});
                    node->setData(0, kKeyRole, QStringLiteral("@%1").arg(unit.unitId));
                    node->setData(0, kRoomRole, unit.unitId);
                    node->setData(0, kUnitRoom, unit.room);
                    node->setData(0, kUnitTenant, unit.tenant);
                    node->setIcon(0, roomIcon);
                }
            }
            item->setExpanded(true);
        } else if (key.startsWith(QLatin1Char('@')) && !commercial) {
            const qint64 householderId = CodeName::name(key).toLongLong();
            const std::optional<Householder> found = m_property.householder(householderId);
            if (found) {
                takeHouseholder(*found, QString());
                picked();
            }
        } else if (key.startsWith(QLatin1Char('@')) && commercial && item->parent()) {
            m_complainant->setText(item->data(0, kUnitTenant).toString());
            m_address->setText(item->parent()->text(0) + item->data(0, kUnitRoom).toString() + QStringLiteral("室"));
            m_telephone->setText(QString());
            m_roomId = item->data(0, kRoomRole).toLongLong();
            showHistory();
            picked();
        }
    });
    m_tree->setEnabled(true);
    m_panels[4]->clear();
}

void ReceptionWindow::toggleAddressPanel()
{
    placeAbove(m_addressPanel, m_addressButton);
    m_addressPanel->setVisible(!m_addressPanel->isVisible());
    m_addressPanel->raise();
}

// A householder picked in the address panel or found by telephone: the fields, the room and the
// household's history. With `officeCode` the building's office becomes the chosen one.
void ReceptionWindow::takeHouseholder(const Householder &found, const QString &officeCode)
{
    setTag(m_complainant, QString::number(found.id));
    m_complainant->setText(found.name);
    m_address->setText(found.address);
    m_telephone->setText(found.telephone);
    m_roomId = found.roomId;
    for (int i = 0; i < mOffices.size() && !officeCode.isEmpty(); ++i)
        if (mOffices.at(i).code == officeCode) {
            m_keptOffice.clear();
            m_offices->setPlaceholderText(QString());
            m_offices->setCurrentIndex(i);
        }
    showHistory();
}
