#pragma once

#include <QWidget>

// frmAbout: the program's title and version, a legal notice, and the system-information tool.
class AboutBox : public QWidget {
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);

    // Finds and starts the system-information tool; "此时系统信息不可用" when there is none.
    void StartSysInfo();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_centred = false;
};
