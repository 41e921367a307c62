#pragma once

#include <QString>

// The values of 投诉信息.处理状态.
namespace Status {
inline QString notAccepted() { return QStringLiteral("尚未受理"); }
inline QString inProgress() { return QStringLiteral("处理中"); }
inline QString finished() { return QStringLiteral("处理完成"); }
}  // namespace Status
