#pragma once

#include <QDate>
#include <QDialog>
#include <QPointer>
#include <QVector>

class FlexGrid;
class GridModel;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QStatusBar;

// frmToExcel: writes the grid of another window into one worksheet of an .xlsx workbook. The caller
// hands over its grid, a sheet name and a title (Config) and shows the window; the user picks the
// columns in Grid1 (a click chooses a column, a double-click drops it), names the file and presses
// "确定". The sheet layout is GridExport's.
class ExportWindow : public QDialog {
    Q_OBJECT
public:
    explicit ExportWindow(QWidget *parent = nullptr);

    // Prepares the column picker for `grid` (every column with a header chosen) and fills in the
    // title and the sheet name. The grid is read, never changed, until the window closes.
    void Config(GridModel *grid, const QString &sheetName, const QString &title);

    // Writes the workbook named in Text1(0) from the configured grid; true when it was saved. On
    // false, lastError() says why; it is empty when the user cancelled or has already been told.
    bool To_Execl(const QString &title, const QString &sheetName);
    QString lastError() const { return m_lastError; }

    // Grid1: a click chooses a column, a double-click drops it.
    void chooseColumn(int column);
    void dropColumn(int column);
    // The source columns that will be exported, in order.
    QVector<int> chosenColumns() const;

    // Command1: the file dialog; Command2 "确定": the export; Command3 "退出".
    void chooseFile();
    void exportGrid();

    // Shows the export of `grid` for a window: the one still open in `window`, or a new one that
    // deletes itself when closed.
    static void showFor(QPointer<ExportWindow> &window, QWidget *owner, GridModel *grid, const QString &sheetName,
                        const QString &title);
    // "(" + first day + "至" + last day + ")" + title: the sheet of a list over a period.
    static QString periodSheetName(const QDate &from, const QDate &to, const QString &title);

    // The file dialog: returns the chosen path, or an empty text when the user cancelled. Tests
    // put a function here that answers at once.
    using FileChooser = QString (*)(QWidget *parent, const QString &folder);
    static FileChooser setFileChooser(FileChooser chooser);
    // The file dialog starts in the folder of the last workbook chosen or written while the
    // program runs; this forgets it, as a new start of the program does (tests).
    static void forgetLastFolder();
    // Shows a written workbook to the user (Check1); the desktop's program for .xlsx files.
    using WorkbookViewer = void (*)(const QString &path);
    static WorkbookViewer setWorkbookViewer(WorkbookViewer viewer);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPointer<GridModel> m_source;
    FlexGrid *m_picker;      // Grid1
    QLineEdit *m_path;       // Text1(0)
    QLineEdit *m_title;      // Text1(1)
    QLineEdit *m_sheetName;  // Text1(2)
    QCheckBox *m_show;       // Check1
    QPushButton *m_browse;   // Command1
    QPushButton *m_ok;       // Command2
    QPushButton *m_exit;     // Command3
    QStatusBar *m_status;    // StatusBar1
    QString m_lastError;
    bool m_cancelled = false;
    bool m_centred = false;
};
