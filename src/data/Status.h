#pragma once

#include <QString>

// The values of 投诉信息.处理状态.
namespace Status {
inline QString notAccepted() { return QStringLiteral("尚未受理"); }
inline QString inProgress() { return QStringLiteral("处理中"); }
inline QString finished() { return QStringLiteral("处理完成"); }
}  // namespace Status

// The answers of a follow-up visit, 投诉信息.结果满意度.
namespace Satisfaction {
inline QString satisfied() { return QStringLiteral("满意"); }
inline QString fairlySatisfied() { return QStringLiteral("基本满意"); }
inline QString dissatisfied() { return QStringLiteral("不满意"); }
}  // namespace Satisfaction
