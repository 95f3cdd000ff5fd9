#pragma once

#include <QString>

// Picture formatting of a number: "0" a digit, "#" an optional digit, "." the decimal point,
// "E+"/"E-" an exponent, quoted text literal, up to three sections "positive;negative;zero".
// The decimal mark of the result is decimalMark.
QString FormatFloat(const QString& picture, double value, QChar decimalMark = u'.');

// FormatFloat whose decimal mark follows the rule: "," when the rule contains one, else ".".
QString FormatWithSeparator(const QString& rule, double value);

// Exponent notation: significant digits, at least exponentDigits exponent digits, the sign of
// the exponent always ("1.50000E+02").
QString FloatToStrExponent(double value, int significant, int exponentDigits, QChar decimalMark);
