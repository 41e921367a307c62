#pragma once

#include <QString>

// Texts the parts of the reception window (ReceptionWindow.cpp, ReceptionRegister.cpp,
// ReceptionAddress.cpp) share: Command3's caption is the window's mode.
namespace reception {

inline const QString kNewCaption = QStringLiteral("新投诉");
inline const QString kCancelCaption = QStringLiteral("取消");

}  // namespace reception
