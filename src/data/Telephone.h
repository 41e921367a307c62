#pragma once

#include <QString>

// How a telephone text is reduced to the number it stands for, so that "0571-8600 1001",
// "(0571)86001001" and "+86 571 8600 1001" name the same household. The register keeps this form
// beside the text as typed (投诉信息.联系电话号码), indexed, and reception looks numbers up by it.
namespace Telephone {

// The ASCII digits of `text`, every one of them ("0571-8600 1001" gives "057186001001").
QString allDigits(const QString &text);

// The digits as the number is dialled at home: a leading country code 86 is dropped
// ("+86 138 0571 0504", "0086-13805710504" and "86-13805710504" give "13805710504"), and an area
// code written without its 0 gets it back ("+86 571 8600 1001" gives "057186001001"). A bare 86
// counts as the country code only when a whole number follows it (a mobile number, or an area
// code and number): "8600 1001" is a local number and keeps its digits.
QString digits(const QString &text);

}  // namespace Telephone
