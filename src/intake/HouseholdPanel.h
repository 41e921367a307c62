#pragma once

#include <QGroupBox>

#include "HouseholdHistory.h"
#include "PropertyRegister.h"

class FlexGrid;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// What reception knows of a household: the frame 本户投诉记录 (Frame2) with its earlier
// complaints (MSFlexGrid2) and the repeat warning (Label8); the lookup of current householders by
// telephone (Command10, its list List2); and the complaint sheet of the shown complaint
// (Command11). The reception window places the buttons among its fields and says which
// household and complaint it shows.
class HouseholdPanel : public QGroupBox {
    Q_OBJECT
public:
    // `window` holds the frame and the floating list, `fields` the two buttons; `telephone` is the
    // telephone box the lookup reads.
    HouseholdPanel(QWidget *window, QWidget *fields, QLineEdit *telephone);

    QPushButton *lookupButton() const { return m_lookup; }
    QPushButton *sheetButton() const { return m_sheet; }

    // Lists the household's complaints, leaving out `shownCode` (empty while a new complaint is
    // entered), and warns of the recent ones. The sheet button prints `shownCode` (and is off
    // while there is none).
    void showHousehold(const Household &household, const QString &shownCode);
    // No household: an empty list and no warning.
    void clear(const QString &shownCode = QString());

    // At most this many householders are listed by one lookup.
    static constexpr int kLookupLimit = 100;
    static constexpr int kLookupMinDigits = 4;

signals:
    // The user chose a householder from the lookup list.
    void householderChosen(const TelephoneMatch &match);

private:
    void lookUp();
    void choose(int row);
    void placeList();

    HouseholdHistory m_history;
    PropertyRegister m_property;
    QWidget *m_window;
    QLineEdit *m_telephone;
    FlexGrid *m_grid;
    QLabel *m_repeat;
    QPushButton *m_lookup;
    QPushButton *m_sheet;
    QListWidget *m_list;
    QVector<TelephoneMatch> m_matches;
    QString m_shownCode;
};
