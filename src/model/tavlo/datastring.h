#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <stdexcept>
#include <vector>

#include "tavlo/measurementresult.h"

// A malformed data string.
class EDataStringError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "t/v1/v2/v3!t/v1/v2/v3..." with the given decimal separator; NaN as "NAN".
QString FormatDataString(const std::vector<TMeasurementResult>& points, char separator);
// Parses a data string; either decimal mark is accepted. Throws EDataStringError.
std::vector<TMeasurementResult> ParseDataString(QStringView text, char16_t separator);

// Splits text at delimiter by the platform's delimited-text rule (strict splitting off):
// characters up to the blank split too, and a field may be enclosed in double quotes.
void SplitDelimitedText(QStringView text, char16_t delimiter,
                        const std::function<void(QStringView field)>& onField);
