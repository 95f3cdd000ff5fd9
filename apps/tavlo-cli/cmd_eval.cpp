// requires: tavlo_model
// tavlo-cli eval [--measurement FILE.mea [--index I]] EXPR: evaluates an expression (with
// the variables of a measurement) and prints its value.
#include "cli.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "tavlo/ansi.h"
#include "tavlo/bcparser.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/variables.h"
#include "tavlo/numformat.h"

namespace {

// The general float text of an extended value ("." as decimal mark, "NAN" for NaN); values
// beyond the double range keep their extended exponent.
QString ExtendedToStrDot(long double value) {
    const long double magnitude = std::fabs(value);
    if (!std::isfinite(value) || magnitude == 0 ||
        (magnitude <= LDBL_MAX && magnitude <= DBL_MAX && magnitude >= DBL_MIN))
        return FloatToStrDot(static_cast<double>(value));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14Le", value);
    // "1.97007111401705e+434" -> "1.97007111401705E434"
    QString text = QString::fromLatin1(buf);
    const qsizetype e = text.indexOf(u'e');
    QString mantissa = text.left(e);
    QString exponent = text.mid(e + 1);
    if (mantissa.contains(u'.')) {
        while (mantissa.endsWith(u'0'))
            mantissa.chop(1);
        if (mantissa.endsWith(u'.'))
            mantissa.chop(1);
    }
    const bool negative = exponent.startsWith(u'-');
    exponent.remove(0, 1);
    while (exponent.size() > 1 && exponent.startsWith(u'0'))
        exponent.remove(0, 1);
    return mantissa + QStringLiteral("E") + (negative ? QStringLiteral("-") : QString()) + exponent;
}

// The expression at an index of a measurement: the substituted text, then the value.
int EvalInMeasurement(const QString& path, const QString& index, const QString& expression) {
    TLoadOptions options;
    options.AskActive = false;
    std::unique_ptr<TMeasurement> m(LoadMeasurement(path, nullptr, options));
    if (!m)
        return 1;
    int I = m->MaxIndexNonIS();
    if (!index.isEmpty()) {
        bool ok = false;
        I = index.toInt(&ok);
        if (!ok) {
            Err(QStringLiteral("--index needs a whole number, not '%1'").arg(index));
            return 2;
        }
    }
    const QString text = AnsiString(SubstituteVariables(*m, nullptr, I, expression));
    Out(text + u'\n');
    const TEvaluationResult r = EvaluateSubstitutedText(*m, text);
    if (!r.Success) {
        Err(r.Message);
        return 1;
    }
    Out(FloatToStrDot(r.Value) + u'\n');
    return 0;
}

int Eval(QStringList args) {
    QString measurement, index;
    const bool inMeasurement = TakeOption(args, QStringLiteral("--measurement"), measurement);
    const bool hasIndex = TakeOption(args, QStringLiteral("--index"), index);
    if (args.isEmpty() || (hasIndex && !inMeasurement)) {
        Err(QStringLiteral("usage: tavlo-cli eval [--measurement FILE.mea [--index I]] EXPR"));
        return 2;
    }
    if (inMeasurement)
        return EvalInMeasurement(measurement, index, args.join(u' '));
    TbcParser parser;
    parser.SetName("Evaluation_Parser");
    parser.SetExpression(args.join(u' ').toStdString());
    try {
        const long double value = parser.Evaluate();
        Out(ExtendedToStrDot(value) + QStringLiteral("\n"));
        return 0;
    } catch (const EbcParserError& e) {
        Err(QString::fromStdString(e.Message()));
    } catch (const Exception& e) {
        Err(QString::fromLatin1(e.ClassName()) + QStringLiteral(": ") +
            QString::fromStdString(e.Message()));
    }
    return 1;
}

} // namespace

TAVLO_CLI_COMMAND(Eval, "eval", "eval [--measurement FILE.mea [--index I]] EXPR  evaluate an expression (at an index of a measurement)", Eval);
