#pragma once

#include <QString>

class TMeasurement;
class TRtPointSeries;

// Replaces every variable of an expression ($I, $TIME, $N3.V1, LAST(...), $S2.YAV, ...) by its
// value at point index I, as a number text with '.' as decimal mark. series is the series on
// whose behalf the text is evaluated (may be null).
QString SubstituteVariables(const TMeasurement& measurement, const TRtPointSeries* series, int I,
                            const QString& text);

struct TEvaluationResult {
    double Value;
    QString Message;
    bool Success;
    // On failure: the class name and the message of the error.
    QString ErrorClass = QString();
    QString ErrorMessage = QString();
};

// Evaluates an already substituted text with the measurement's start time.
TEvaluationResult EvaluateSubstitutedText(const TMeasurement& measurement, const QString& text,
                                          const char* parserName = "Evaluation_Parser");

// Substitutes at I and evaluates; NaN and a message on failure.
TEvaluationResult EvaluateExpressionAt(const TMeasurement& measurement, int I,
                                       const QString& expression);
