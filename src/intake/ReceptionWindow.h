#pragma once

#include <QVector>
#include <QWidget>

#include "ComplaintStore.h"
#include "PropertyRegister.h"

class FlexGrid;
class GridModel;
class HouseholdPanel;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;
class TimePanel;

// The reception window 投诉接待 (ReceptionWindow.cpp: controls, layout and entry;
// ReceptionRegister.cpp: the register list; ReceptionAddress.cpp: the time and address panels):
// the register of the department's complaints above, the fields of
// one complaint below, with the address panel (property register) and the time panel.
//
// Mode: while Command3 reads "取消" a new complaint is being entered and Command4 inserts it;
// otherwise the fields show the register's current complaint and Command4 rewrites it.
class ReceptionWindow : public QWidget {
    Q_OBJECT
public:
    explicit ReceptionWindow(QWidget *parent = nullptr);

    // Inserts the complaint in the fields as a new one.
    void SaveData();
    // Rewrites the complaint whose code the fields show.
    void UpdateData();
    // Prepares the time panel from a date-time text.
    void LoadTime(const QString &text);
    // Refills the register with the chosen query.
    void LoadComplaintList();
    // Fills the offices of the user's department and selects the first.
    void LoadOffices();
    // Fills the tree with the buildings of the selected office.
    void LoadBuildingTree();

    static QColor openColor() { return QColor(255, 238, 228); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Closing (退出 or the frame's close box) first asks before typed input is dropped.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void load();
    void newOrCancel();
    void confirm();
    void showCurrentRow();
    // A row chosen by the user: shown, unless the user keeps the input the fields hold.
    void rowChosen();
    void voidCurrent();
    void officeChosen();
    void nodeClicked(QTreeWidgetItem *item);
    void toggleAddressPanel();
    void takeHouseholder(const Householder &found, const QString &officeCode);
    void showHistory();
    QString shownCode() const;
    void openTimePanel();
    void placeAbove(QWidget *panel, QWidget *button);
    bool isAdding() const;
    void clearShownComplaint();
    int rowOfShownComplaint() const;
    bool readComplaint(ComplaintInput *input, bool forUpdate);
    bool putRow(int row, qint64 id);
    int rowOfId(qint64 id) const;
    void fitRowHeight(int row);
    void layoutWindow();
    // The entry of Combo2 that names the logged-in user; -1 when the department's list has none.
    int loggedInReceiver() const;
    // What the fields hold, compared with what they held when last filled or saved.
    QStringList fieldTexts() const;
    void rememberFields();
    // True when the fields hold nothing new, or the user agrees to drop what they hold.
    bool mayDropInput();

    ComplaintStore m_store;
    PropertyRegister m_property;

    // The offices of Combo3, at the same index.
    QVector<Office> mOffices;
    // The room (S_ID) the address was picked for; 0 for a typed address.
    qint64 m_roomId = 0;
    // The shown complaint's own office, category and channel when the lists offer no entry for
    // them: an edit keeps them unless the user picks another.
    QString m_keptOffice;
    QString m_keptCategory;
    QString m_keptChannel;
    // The fields as last filled from the register, cleared for a new complaint, or saved.
    QStringList m_loadedFields;

    QLabel *m_listTitle;
    QRadioButton *m_optMonth;
    QRadioButton *m_optRange;
    QRadioButton *m_optComplainant;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QLineEdit *m_searchText;
    QPushButton *m_query;
    FlexGrid *m_grid;
    GridModel *m_model;

    QGroupBox *m_frame;
    QLineEdit *m_time;
    QLineEdit *m_complainant;
    QLineEdit *m_address;
    QLineEdit *m_telephone;
    QPlainTextEdit *m_content;
    QLineEdit *m_code;
    QComboBox *m_category;
    QComboBox *m_channel;
    QComboBox *m_receiver;
    QPushButton *m_newButton;
    QPushButton *m_saveButton;
    QPushButton *m_voidButton;
    QPushButton *m_exitButton;
    QPushButton *m_addressButton;
    QPushButton *m_timeButton;

    QFrame *m_addressPanel;
    QComboBox *m_offices;
    QTreeWidget *m_tree;
    TimePanel *m_timePanel;
    HouseholdPanel *m_household;

    QStatusBar *m_statusBar;
    QVector<QLabel *> m_panels;
};
