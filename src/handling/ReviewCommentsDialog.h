#pragma once

#include <QDialog>

#include "ReviewCommentsStore.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

// frm投诉阅处意见浏览: the review comments of one complaint. The caller puts the complaint code
// into the window's tag text (setTag) and runs it modally (MainArea::runModal).
class ReviewCommentsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReviewCommentsDialog(QWidget *parent = nullptr);

    // Fills List1 with the steps of the complaint in the tag text (every activation does).
    void fillList();
    // Shows the result of the selected step in Text1.
    void showResult();

protected:
    void showEvent(QShowEvent *event) override;

private:
    ReviewCommentsStore m_store;
    QListWidget *m_list;
    QPlainTextEdit *m_text;
    QPushButton *m_close;
};
