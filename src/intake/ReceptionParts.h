#pragma once

#include <QString>

// Texts the parts of the reception window (ReceptionWindow.cpp, ReceptionRegister.cpp,
// ReceptionAddress.cpp) share: Command3's caption is the window's mode.
namespace reception {

inline const QString kNewCaption = QStringLiteral("新投诉");
inline const QString kCancelCaption = QStringLiteral("取消");
// Text1(5) while no complaint is shown.
inline const QString kNoCodeYet = QStringLiteral("<保存时自动生成编号");

}  // namespace reception
