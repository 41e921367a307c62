#pragma once

#include <QString>

// How a telephone text is reduced to the number it stands for, so that "0571-8600 1001",
// "(0571)86001001" and "+86 0571 86001001" name the same household. The register keeps this form
// beside the text as typed (投诉信息.联系电话号码), indexed, and reception looks numbers up by it.
namespace Telephone {

// The ASCII digits of `text`, without China's country code: a leading "0086", a leading "86"
// written after "+", and the "86" before an eleven-digit mobile number ("8613805710504") are
// dropped. Every other text keeps all of its digits.
QString digits(const QString &text);

}  // namespace Telephone
