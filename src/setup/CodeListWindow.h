#pragma once

#include <QWidget>

#include "CodeListStore.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// What tells the category window and the channel window apart.
struct CodeListSettings {
    QString windowName;  // objectName of the window
    QString caption;
    QString table;
    QString nameColumn;  // also the tag of the name box
    QString nameLabel;
    QString hint;

    static CodeListSettings categories();
    static CodeListSettings channels();
};

// Upkeep of one code list: the entries on the left, the code and name of the selected entry on
// the right. "新增" switches to adding (the button then reads "取消"); "确定" saves a new entry
// while adding and changes the selected one otherwise.
class CodeListWindow : public QWidget {
    Q_OBJECT
public:
    explicit CodeListWindow(const CodeListSettings &settings, QWidget *parent = nullptr);

    // Fills the list from the table and shows its first entry.
    void loadEntries();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isAdding() const;
    void setAdding(bool adding);
    // A click on an entry of List9: its code and name in the boxes.
    void showChosenEntry();
    // Command3D16 "新增"/"取消".
    void toggleAdding();
    // SSCommand2 "确定".
    void saveEntry();
    // Command3D18 "删除".
    void deleteEntry();
    // An entry stored with a blank in its code (older data) may keep that code when edited.
    bool keepsStoredCode(const QString &code) const;
    void saveNew(const QString &code, const QString &name);
    void saveChange(const QString &code, const QString &name);

    CodeListSettings m_settings;
    CodeListStore m_store;
    bool m_loaded = false;
    int m_rowBeforePress = -1;

    QListWidget *m_list;
    QLineEdit *m_code;
    QLineEdit *m_name;
    QPushButton *m_addCancel;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_close;
};
