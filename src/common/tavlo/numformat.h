#pragma once

#include <QString>
#include <QStringView>

// The process-wide number format: the decimal separator used for numbers in data strings and
// on screen. Numbers in expressions, to instruments and in exports always use '.'.
char16_t DecimalSeparator();
void SetDecimalSeparator(char16_t separator);
// Takes the separator from the system locale (called once at program start).
void InitDecimalSeparatorFromSystem();

// Scoped change of the separator (tests, exports).
class TDecimalSeparatorScope {
public:
    explicit TDecimalSeparatorScope(char16_t separator);
    ~TDecimalSeparatorScope();
    TDecimalSeparatorScope(const TDecimalSeparatorScope&) = delete;
    TDecimalSeparatorScope& operator=(const TDecimalSeparatorScope&) = delete;

private:
    char16_t FPrevious;
};

// The general float text: shortest general notation with at most 15 significant digits,
// exponent form ("1.5E-5", "1E20") where the general format chooses it, "NAN", "INF", "-INF".
// Writes into buf (at least 32 chars) and returns the length.
int FormatGeneralFloat(double value, char separator, char* buf);
QString FloatToStr(double value);                  // current separator
QString FloatToStr(double value, char separator);  // given separator
QString FloatToStrDot(double value);               // '.'

// Decimal text to double with the given separator, as the platform's conversion accepts it:
// optional blanks, sign, digits with one separator, optional exponent, optional blanks.
// No "NAN"/"INF". Returns false for anything else.
bool TryTextToFloat(QStringView text, char16_t separator, double& value);
bool TryStrToFloat(QStringView text, double& value); // current separator

// The platform's conversion error message for a text that is not a number.
QString NotAFloatMessage(QStringView text);
