#include "ReceptionWindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "HouseholdPanel.h"
#include "ReceptionParts.h"
#include "common/CodeName.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/Messages.h"
#include "common/ReportList.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"
#include "data/Status.h"

namespace {

// Room beside a cell's text: the flex grid's 90 twips, plus the grid line and the little more
// that the view's cell padding takes, so that the widest text is not cut short.
const int kCellMargin = 90 + Twips::fromPixels(3);

int indexOfName(const QComboBox *combo, const QString &name)
{
    for (int i = 0; i < combo->count(); ++i)
        if (CodeName::name(combo->itemText(i)) == name) return i;
    return -1;
}

}  // namespace

// The register ---------------------------------------------------------------------------------

void ReceptionWindow::LoadComplaintList()
{
    RegisterQuery query;
    if (m_optMonth->isChecked()) {
        query.kind = RegisterQuery::CurrentMonth;
    } else if (m_optRange->isChecked()) {
        query.kind = RegisterQuery::Range;
        query.from = m_from->date();
        query.to = m_to->date();
    } else if (m_optComplainant->isChecked()) {
        if (m_searchText->text().isEmpty()) {
            Messages::plain(QStringLiteral("请输入投诉人"));
            return;
        }
        query.kind = RegisterQuery::Complainant;
        query.complainant = m_searchText->text();
    } else {
        query.kind = RegisterQuery::All;
    }
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        {
            GridModel::Bulk bulk(*m_model, GridModel::ReplaceRows);
            int rows = 0;
            m_store.scanRegister(gDeptCode, query, [&](QString *cells, bool open) {
                cells[RegisterColumn::Row] = QString::number(++rows);
                const int row = bulk.append(cells, RegisterColumn::Count);
                if (open) m_model->setRowBackground(row, openColor());
            });
        }
        m_model->growWidthsToFit(m_grid->font(), kCellMargin);
        for (int c = m_model->columns() - 3; c < m_model->columns(); ++c) m_model->setWidthTwips(c, 0);
        m_grid->setCurrentRow(m_model->rowCount() - 1);
    });
    // The rows are new: no complaint is shown until the user chooses one (a new complaint
    // being typed stays as it is).
    if (!isAdding()) clearShownComplaint();
}

void ReceptionWindow::showCurrentRow()
{
    const int row = m_grid->currentRow();
    if (m_model->rowCount() == 0 || row < 0) return;
    const auto cell = [&](int column) { return m_model->text(row, column); };
    m_newButton->setText(reception::kNewCaption);
    m_time->setText(cell(RegisterColumn::Time));
    m_complainant->setText(cell(RegisterColumn::Complainant));
    m_address->setText(cell(RegisterColumn::Address));
    m_telephone->setText(cell(RegisterColumn::Telephone));
    m_content->setPlainText(cell(RegisterColumn::Content));
    m_code->setText(cell(RegisterColumn::Code));
    m_roomId = cell(RegisterColumn::Room).toLongLong();

    // The complaint's own office; one the list does not offer (or none) is kept as it is, so
    // that an edit never moves the complaint to another office.
    const QString office = cell(RegisterColumn::Office);
    int officeIndex = -1;
    for (int i = 0; i < mOffices.size() && officeIndex < 0; ++i)
        if (!office.isEmpty() && mOffices.at(i).code == office) officeIndex = i;
    m_keptOffice = officeIndex < 0 ? office : QString();
    m_offices->setPlaceholderText(m_keptOffice);
    if (officeIndex != m_offices->currentIndex()) {
        m_offices->setCurrentIndex(officeIndex);
        if (officeIndex < 0) m_tree->clear();
    }

    // Likewise a category or channel whose name the code list no longer has.
    // A complaint without one shows none (an edit must not take the previous complaint's).
    const auto pick = [&](QComboBox *combo, const QString &name, QString *kept) {
        const int index = name.isEmpty() ? -1 : indexOfName(combo, name);
        combo->setCurrentIndex(index);
        *kept = index < 0 ? name : QString();
        combo->setPlaceholderText(*kept);
    };
    pick(m_category, cell(RegisterColumn::Category), &m_keptCategory);
    pick(m_channel, cell(RegisterColumn::Channel), &m_keptChannel);

    m_voidButton->setEnabled(cell(RegisterColumn::Status) == Status::notAccepted());
    m_receiver->setCurrentText(cell(RegisterColumn::Receiver));
    m_grid->setCurrentRow(row);
    showHistory();
    rememberFields();
}

bool ReceptionWindow::isAdding() const { return m_newButton->text() == reception::kCancelCaption; }

// No complaint in the fields: nothing for 投诉作废 or 确定 to act on until a row is chosen.
void ReceptionWindow::clearShownComplaint()
{
    for (QLineEdit *field : {m_time, m_complainant, m_address, m_telephone}) field->clear();
    m_content->clear();
    m_code->setText(reception::kNoCodeYet);
    m_roomId = 0;
    m_keptOffice.clear();
    m_keptCategory.clear();
    m_keptChannel.clear();
    for (QComboBox *combo : {m_offices, m_category, m_channel}) combo->setPlaceholderText(QString());
    m_category->setCurrentIndex(-1);
    m_channel->setCurrentIndex(-1);
    m_voidButton->setEnabled(false);
    m_household->clear();
    rememberFields();
}

// The register row of the complaint whose code the fields show; -1 when none is shown.
int ReceptionWindow::rowOfShownComplaint() const
{
    const QString code = m_code->text();
    if (isAdding() || code.isEmpty()) return -1;
    const int current = m_grid->currentRow();
    if (current >= 0 && m_model->text(current, RegisterColumn::Code) == code) return current;
    return rowOfCode(m_grid, RegisterColumn::Code, code);
}

void ReceptionWindow::voidCurrent()
{
    // Only the complaint the user sees, never whichever row happens to be current.
    const int row = rowOfShownComplaint();
    if (row < 0) return;
    const QString id = m_model->text(row, RegisterColumn::Id);
    if (id.isEmpty()) return;
    const QString message = QStringLiteral("已经处理完成的投诉不能作废！");
    if (!m_model->text(row, RegisterColumn::Finished).isEmpty()) {
        Messages::information(message, Messages::executableName());
        return;
    }
    bool voided = false;
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        // Another station may have accepted it since the register was read.
        const ComplaintStore::VoidResult result = m_store.voidComplaint(id.toLongLong());
        voided = result == ComplaintStore::VoidResult::Voided;
        if (result == ComplaintStore::VoidResult::NotVoidable)
            Messages::information(message, Messages::executableName());
    });
    LoadComplaintList();
    // A complaint that was not voided (the database refused, or another station accepted it) stays
    // the chosen one and is shown again as it is now stored; the reload never leaves the fields on
    // one complaint and the current row on another.
    if (!voided) {
        const int again = rowOfId(id.toLongLong());
        if (again >= 0) {
            m_grid->setCurrentRow(again);
            showCurrentRow();
        }
    }
}

// Rewrites the cells of a register row from the stored complaint; false when it is gone.
bool ReceptionWindow::putRow(int row, qint64 id)
{
    QString cells[RegisterColumn::Count];
    bool open = false;
    if (!m_store.registerRow(id, cells, &open)) return false;
    cells[RegisterColumn::Row] = QString::number(row + 1);
    if (row >= m_model->rowCount()) {
        row = m_model->appendRow(QStringList(cells, cells + RegisterColumn::Count));
    } else {
        for (int c = 0; c < RegisterColumn::Count; ++c)
            if (m_model->text(row, c) != cells[c]) m_model->setText(row, c, cells[c]);
    }
    m_model->setRowBackground(row, open ? openColor() : QColor());
    fitRowHeight(row);
    return true;
}

// Long content wraps onto as many lines as it needs.
void ReceptionWindow::fitRowHeight(int row)
{
    const int columnWidth = m_model->widthTwips(RegisterColumn::Content);
    const int textWidth = Twips::fromPixels(TextWidth(m_grid->font()).of(m_model->text(row, RegisterColumn::Content)));
    if (columnWidth > 0 && textWidth > columnWidth) m_grid->setRowLines(row, textWidth / columnWidth + 1);
}

int ReceptionWindow::rowOfId(qint64 id) const
{
    const QString key = QString::number(id);
    const int current = m_grid->currentRow();
    if (current >= 0 && m_model->text(current, RegisterColumn::Id) == key) return current;
    for (int r = m_model->rowCount() - 1; r >= 0; --r)
        if (m_model->text(r, RegisterColumn::Id) == key) return r;
    return -1;
}
