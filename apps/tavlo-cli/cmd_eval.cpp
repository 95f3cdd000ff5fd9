// requires: tavlo_expr
// tavlo-cli eval EXPR: evaluates an expression and prints its value.
#include "cli.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "tavlo/bcparser.h"
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

int Eval(const QStringList& args) {
    if (args.isEmpty()) {
        Err(QStringLiteral("usage: tavlo-cli eval EXPR"));
        return 2;
    }
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

TAVLO_CLI_COMMAND(Eval, "eval", "eval EXPR                    evaluate an expression and print its value", Eval);
