#include "tavlo/variables.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "tavlo/ansi.h"
#include "tavlo/bcparser.h"
#include "tavlo/clock.h"
#include "tavlo/exprerrors.h"
#include "tavlo/log.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

QString Num(double v) { return FloatToStrDot(v); }
QString Paren(double v) { return u'(' + FloatToStrDot(v) + u')'; }

QString Int128Text(__int128 v) {
    if (v == 0)
        return QStringLiteral("0");
    const bool negative = v < 0;
    unsigned __int128 u = negative ? static_cast<unsigned __int128>(-v) : static_cast<unsigned __int128>(v);
    char buf[48];
    int n = 0;
    while (u > 0) {
        buf[n++] = static_cast<char>('0' + static_cast<int>(u % 10));
        u /= 10;
    }
    QString out;
    if (negative)
        out += u'-';
    while (n > 0)
        out += QChar(buf[--n]);
    return out;
}

bool MatchesAt(const QString& text, qsizetype at, QStringView what) {
    return at + what.size() <= text.size() &&
           QStringView(text).mid(at, what.size()).compare(what, Qt::CaseInsensitive) == 0;
}

// ---- index variables ----

void SubstituteIndex(QString& text, int I) {
    // What follows each "$I" tells which groups can match at all (looked at again after the
    // divided forms, whose numbers can follow a "$I" and so form a multiplied one).
    auto follows = [&text](auto test) {
        bool any = false;
        for (qsizetype at = text.indexOf(u'$'); at >= 0; at = text.indexOf(u'$', at + 1)) {
            if (at + 1 >= text.size() || (text.at(at + 1) != u'I' && text.at(at + 1) != u'i'))
                continue;
            any = true;
            if (test(at + 2 < text.size() ? text.at(at + 2) : QChar()))
                return 2;
        }
        return any ? 1 : 0;
    };
    const int dot = follows([](QChar c) { return c == u'.'; });
    if (dot == 0)
        return;
    static const int powers[] = {12, 9, 6, 5, 4, 3, 2, 1};
    static const QString divided[] = {"$I.12", "$I.9", "$I.6", "$I.5", "$I.4", "$I.3", "$I.2", "$I.1"};
    static const QString multiplied[] = {"$I12", "$I9", "$I6", "$I5", "$I4", "$I3", "$I2", "$I1"};
    if (dot == 2) {
        for (int k = 0; k < 8; ++k)
            if (text.contains(divided[k], Qt::CaseInsensitive))
                text.replace(divided[k], Num(I / std::pow(10.0, powers[k])), Qt::CaseInsensitive);
    }
    const bool anyDigit = follows([](QChar c) { return c.isDigit(); }) == 2;
    for (int k = 0; k < 8 && anyDigit; ++k) {
        if (!text.contains(multiplied[k], Qt::CaseInsensitive))
            continue;
        __int128 factor = 1;
        for (int e = 0; e < powers[k]; ++e)
            factor *= 10;
        text.replace(multiplied[k], Int128Text(factor * I), Qt::CaseInsensitive);
    }
    text.replace(QLatin1String("$I"), QString::number(I), Qt::CaseInsensitive);
}

// ---- node variables ----

enum class TNodeVar {
    DF1, DF2, DF3, V1, V2, V3, TI, TS, TM, TH, TD, ISNAN1, FAM, LAM, SF,
    MAX1, MAX2, MAX3,
    RS, X, F, PA2, P, Z, Y, G, B, RP, LS, LP, CS, CP,
    PV, PC, OX, M2, M4, MV, MC, ET, WSP, OP, FLS, FL, AF1, AF2, AG1, AG2, AG3, AM1,
};

struct TSuffix {
    const char16_t* Text;
    TNodeVar Var;
};

// The suffixes a node offers, in the order they are tried.
std::vector<TSuffix> NodeSuffixes(const TMeasurementNode& node, int I) {
    std::vector<TSuffix> list = {
        {u".DF1", TNodeVar::DF1}, {u".DF2", TNodeVar::DF2}, {u".DF3", TNodeVar::DF3},
        {u".V1", TNodeVar::V1},   {u".V2", TNodeVar::V2},   {u".V3", TNodeVar::V3},
        {u".TI", TNodeVar::TI},   {u".TS", TNodeVar::TS},   {u".TM", TNodeVar::TM},
        {u".TH", TNodeVar::TH},   {u".TD", TNodeVar::TD},   {u".ISNAN1", TNodeVar::ISNAN1},
        {u".FAM", TNodeVar::FAM}, {u".LAM", TNodeVar::LAM},
    };
    const QString& type = node.NodeType;
    if (type == QLatin1String("IS"))
        list.push_back({u".SF", TNodeVar::SF});
    if (!(I < node.DataCount() || (I == 0 && node.DataCount() == 0)))
        return list;
    list.insert(list.end(), {{u".MAX1", TNodeVar::MAX1}, {u".MAX2", TNodeVar::MAX2},
                             {u".MAX3", TNodeVar::MAX3}});
    if (type == QLatin1String("IC") || type == QLatin1String("IS"))
        list.insert(list.end(),
                    {{u".RS", TNodeVar::RS}, {u".X", TNodeVar::X},   {u".F", TNodeVar::F},
                     {u".PA2", TNodeVar::PA2}, {u".P", TNodeVar::P}, {u".Z", TNodeVar::Z},
                     {u".Y", TNodeVar::Y},   {u".G", TNodeVar::G},   {u".B", TNodeVar::B},
                     {u".RP", TNodeVar::RP}, {u".LS", TNodeVar::LS}, {u".LP", TNodeVar::LP},
                     {u".CS", TNodeVar::CS}, {u".CP", TNodeVar::CP}});
    else if (type == QLatin1String("P1"))
        list.insert(list.end(), {{u".PV", TNodeVar::PV}, {u".PC", TNodeVar::PC}});
    else if (type == QLatin1String("OX"))
        list.push_back({u".OX", TNodeVar::OX});
    else if (type == QLatin1String("M2"))
        list.push_back({u".M2", TNodeVar::M2});
    else if (type == QLatin1String("M4"))
        list.push_back({u".M4", TNodeVar::M4});
    else if (type == QLatin1String("MV"))
        list.push_back({u".MV", TNodeVar::MV});
    else if (type == QLatin1String("MC"))
        list.push_back({u".MC", TNodeVar::MC});
    else if (type == QLatin1String("ET"))
        list.insert(list.end(), {{u".ET", TNodeVar::ET}, {u".WSP", TNodeVar::WSP}, {u".OP", TNodeVar::OP}});
    else if (type == QLatin1String("FL"))
        list.insert(list.end(), {{u".FLS", TNodeVar::FLS}, {u".FL", TNodeVar::FL}});
    else if (type == QLatin1String("AU") && node.AUType == QLatin1String("Furnace"))
        list.insert(list.end(), {{u".AF1", TNodeVar::AF1}, {u".AF2", TNodeVar::AF2}});
    else if (type == QLatin1String("AU") && node.AUType == QLatin1String("GPIB"))
        list.insert(list.end(), {{u".AG1", TNodeVar::AG1}, {u".AG2", TNodeVar::AG2}, {u".AG3", TNodeVar::AG3}});
    list.push_back({u".AM1", TNodeVar::AM1});
    return list;
}

struct TNodeContext {
    const TMeasurementNode* Node;
    std::vector<TSuffix> Suffixes;
    std::optional<TMeasurementResult> Point;
    std::optional<TMeasurementImpResult> Imp;
};

// The point at I; beyond the points a node has no values (NaN), and an empty node reads as
// zeros at index 0, as reading its list does.
const TMeasurementResult& PointOf(TNodeContext& c, int I) {
    if (!c.Point) {
        const TMeasurementNode& n = *c.Node;
        c.Point = n.DataCount() == 0 && I <= 0 ? TMeasurementResult{}
                  : I >= 0 && I < n.DataCount() ? n.GetData(I)
                                                : TMeasurementResult{NaN, NaN, NaN, NaN};
    }
    return *c.Point;
}

QString NodeValue(TNodeContext& c, TNodeVar var, int I) {
    const TMeasurementNode& n = *c.Node;
    const TMeasurementResult& p = PointOf(c, I);
    auto imp = [&]() -> const TMeasurementImpResult& {
        if (!c.Imp)
            c.Imp = n.Imp(I);
        return *c.Imp;
    };
    switch (var) {
    case TNodeVar::DF1: case TNodeVar::V1: case TNodeVar::RS: case TNodeVar::PV:
    case TNodeVar::OX: case TNodeVar::M2: case TNodeVar::M4: case TNodeVar::MV:
    case TNodeVar::MC: case TNodeVar::ET: case TNodeVar::FL: case TNodeVar::AF1:
    case TNodeVar::AG1: case TNodeVar::AM1:
        return Paren(p.Value1);
    case TNodeVar::DF2: case TNodeVar::V2: case TNodeVar::X: case TNodeVar::PC:
    case TNodeVar::WSP: case TNodeVar::FLS: case TNodeVar::AF2: case TNodeVar::AG2:
        return Paren(p.Value2);
    case TNodeVar::DF3: case TNodeVar::V3: case TNodeVar::F: case TNodeVar::OP:
    case TNodeVar::AG3:
        return Paren(p.Value3);
    case TNodeVar::TI: return Paren(p.Time);
    case TNodeVar::TS: return Paren(n.TS(I));
    case TNodeVar::TM: return Paren(n.TM(I));
    case TNodeVar::TH: return Paren(n.TH(I));
    case TNodeVar::TD: return Paren(n.TD(I));
    case TNodeVar::ISNAN1: return std::isnan(p.Value1) ? QStringLiteral("(1)") : QStringLiteral("(0)");
    case TNodeVar::FAM: return n.FAM > 0 ? Paren(n.GetFAM()) : QStringLiteral("(0)");
    case TNodeVar::LAM: return Paren((Now() - n.LAM) * MinutesPerDay);
    case TNodeVar::SF: return n.SweepFinished ? QStringLiteral("(1)") : QStringLiteral("(0)");
    case TNodeVar::MAX1: return Paren(n.MaxVal(1));
    case TNodeVar::MAX2: return Paren(n.MaxVal(2));
    case TNodeVar::MAX3: return Paren(n.MaxVal(3));
    case TNodeVar::PA2: return Paren(imp().PA2);
    case TNodeVar::P: return Paren(imp().P);
    case TNodeVar::Z: return Paren(imp().Z);
    case TNodeVar::Y: return Paren(imp().Y);
    case TNodeVar::G: return Paren(imp().G);
    case TNodeVar::B: return Paren(imp().B);
    case TNodeVar::RP: return Paren(imp().RP);
    case TNodeVar::LS: return Paren(imp().LS);
    case TNodeVar::LP: return Paren(imp().LP);
    case TNodeVar::CS: return Paren(imp().CS);
    case TNodeVar::CP: return Paren(imp().CP);
    }
    return QString();
}

bool IsMax(TNodeVar v) { return v == TNodeVar::MAX1 || v == TNodeVar::MAX2 || v == TNodeVar::MAX3; }

struct TClaim {
    qsizetype At;
    qsizetype Length;
    int Node;
    TNodeVar Var;
};

// A node variable claims each '$' it matches; the first node (in list order) and the first
// suffix (in the order above) win, as replacing name by name would.
void SubstituteNodes(QString& text, const TMeasurement& m, int I) {
    const QList<QObject*> items = m.Nodes->Items();
    std::vector<TNodeContext> nodes;
    nodes.reserve(static_cast<size_t>(items.size()));
    for (QObject* item : items)
        nodes.push_back(TNodeContext{static_cast<const TMeasurementNode*>(item), {}, std::nullopt,
                                     std::nullopt});
    std::vector<TClaim> claims;
    for (qsizetype at = text.indexOf(u'$'); at >= 0; at = text.indexOf(u'$', at + 1)) {
        for (size_t k = 0; k < nodes.size(); ++k) {
            const QString name = nodes[k].Node->objectName();
            if (name.isEmpty() || !MatchesAt(text, at + 1, name))
                continue;
            const qsizetype suffixAt = at + 1 + name.size();
            if (suffixAt >= text.size() || text.at(suffixAt) != u'.')
                continue;
            if (nodes[k].Suffixes.empty())
                nodes[k].Suffixes = NodeSuffixes(*nodes[k].Node, I);
            bool claimed = false;
            for (const TSuffix& s : nodes[k].Suffixes) {
                const QStringView suffix(s.Text);
                if (MatchesAt(text, suffixAt, suffix)) {
                    claims.push_back({at, 1 + name.size() + suffix.size(), static_cast<int>(k), s.Var});
                    claimed = true;
                    break;
                }
            }
            if (claimed)
                break;
        }
    }
    if (claims.empty())
        return;
    // Of .MAX1, .MAX2, .MAX3 only the first that occurs is replaced for a node.
    std::vector<int> maxChoice(nodes.size(), 0);
    for (const TClaim& c : claims) {
        if (!IsMax(c.Var))
            continue;
        const int variant = static_cast<int>(c.Var) - static_cast<int>(TNodeVar::MAX1) + 1;
        int& choice = maxChoice[static_cast<size_t>(c.Node)];
        if (choice == 0 || variant < choice)
            choice = variant;
    }
    QString out;
    out.reserve(text.size() + 16 * static_cast<qsizetype>(claims.size()));
    qsizetype pos = 0;
    for (const TClaim& c : claims) {
        if (IsMax(c.Var) && static_cast<int>(c.Var) - static_cast<int>(TNodeVar::MAX1) + 1 !=
                                maxChoice[static_cast<size_t>(c.Node)])
            continue;
        out += QStringView(text).mid(pos, c.At - pos);
        out += NodeValue(nodes[static_cast<size_t>(c.Node)], c.Var, I);
        pos = c.At + c.Length;
    }
    out += QStringView(text).mid(pos);
    text = out;
}

void SubstituteLast(QString& text, const TMeasurement& m) {
    static const QRegularExpression pattern(QStringLiteral("[Ll][Aa][Ss][Tt]\\(.+?\\)"));
    for (;;) {
        const QRegularExpressionMatch match = pattern.match(text);
        if (!match.hasMatch())
            return;
        const QString piece = match.captured(0);
        QString res;
        const QString replacement =
            m.LAST(piece, res) ? res : QStringLiteral("## Error in LAST-function ##");
        const qsizetype at = text.indexOf(piece);
        text.replace(at, piece.size(), replacement);
    }
}

// ---- series variables ----

enum class TSerieVar { C, XS, XAV, XMI, XMA, YS, YAV, YMI, YMA, YP, Y, LRR, LRA, LRB, LRC, LRD,
                       LRE, LRF, LRG, LRH, LRI, LRJ, LRK, LRMI, LRMA };

struct TSerieSuffix {
    const char16_t* Text;
    TSerieVar Var;
};

const TSerieSuffix SerieSuffixes[] = {
    {u".C", TSerieVar::C},     {u".XS", TSerieVar::XS},   {u".XAV", TSerieVar::XAV},
    {u".XMI", TSerieVar::XMI}, {u".XMA", TSerieVar::XMA}, {u".YS", TSerieVar::YS},
    {u".YAV", TSerieVar::YAV}, {u".YMI", TSerieVar::YMI}, {u".YMA", TSerieVar::YMA},
    {u".YP", TSerieVar::YP},   {u".Y", TSerieVar::Y},     {u".LRR", TSerieVar::LRR},
    {u".LRA", TSerieVar::LRA}, {u".LRB", TSerieVar::LRB}, {u".LRC", TSerieVar::LRC},
    {u".LRD", TSerieVar::LRD}, {u".LRE", TSerieVar::LRE}, {u".LRF", TSerieVar::LRF},
    {u".LRG", TSerieVar::LRG}, {u".LRH", TSerieVar::LRH}, {u".LRI", TSerieVar::LRI},
    {u".LRJ", TSerieVar::LRJ}, {u".LRK", TSerieVar::LRK}, {u".LRMI", TSerieVar::LRMI},
    {u".LRMA", TSerieVar::LRMA},
};

bool IsRegressionVar(TSerieVar v) { return v >= TSerieVar::LRA && v <= TSerieVar::LRK; }

double Average(const TRtCustomDoubleVector* v) {
    return v && v->Count() > 0 ? v->GetSum() / v->Count() : NaN;
}

// The value of a series variable; nothing when the series has no regression to read.
std::optional<QString> SerieValue(TRtPointSeries& s, TSerieVar var, int I) {
    const TRtCustomDoubleVector* x = s.XData();
    const TRtCustomDoubleVector* y = s.YData();
    auto stat = [](const TRtCustomDoubleVector* v, double (TRtCustomDoubleVector::*f)() const) {
        return v ? (v->*f)() : NaN;
    };
    if (IsRegressionVar(var)) {
        TRtLinearRegression* r = s.Regression();
        if (!r)
            return std::nullopt;
        if (r->PointsModified() && r->XData() && r->YData())
            r->Calculate();
        switch (var) {
        case TSerieVar::LRA: return Paren(r->Offset);
        case TSerieVar::LRB: return Paren(r->Slope);
        case TSerieVar::LRC: return Paren(r->DeltaOffset);
        case TSerieVar::LRD: return Paren(r->DeltaSlope);
        case TSerieVar::LRE: return Paren(r->AverageX);
        case TSerieVar::LRF: return Paren(r->AverageY);
        case TSerieVar::LRG: return Paren(r->VarianceX);
        case TSerieVar::LRH: return Paren(r->VarianceY);
        case TSerieVar::LRI: return Paren(r->Probability);
        case TSerieVar::LRJ: return Paren(r->Correlation);
        default: return Paren(r->SumOfResiduals);
        }
    }
    switch (var) {
    case TSerieVar::C: return Paren(x ? x->Count() : 0);
    case TSerieVar::XS: return Paren(stat(x, &TRtCustomDoubleVector::GetSum));
    case TSerieVar::XAV: return Paren(Average(x));
    case TSerieVar::XMI: return Paren(stat(x, &TRtCustomDoubleVector::GetMinimum));
    case TSerieVar::XMA: return Paren(stat(x, &TRtCustomDoubleVector::GetMaximum));
    case TSerieVar::YS: return Paren(stat(y, &TRtCustomDoubleVector::GetSum));
    case TSerieVar::YAV: return Paren(Average(y));
    case TSerieVar::YMI: return Paren(stat(y, &TRtCustomDoubleVector::GetMinimum));
    case TSerieVar::YMA: return Paren(stat(y, &TRtCustomDoubleVector::GetMaximum));
    case TSerieVar::YP: return I < 2 ? QStringLiteral("(0)") : Paren(y ? y->GetValue(I - 1) : NaN);
    case TSerieVar::Y: return Paren(y ? y->GetValue(I) : NaN);
    case TSerieVar::LRR: return Paren(s.CoefRange);
    case TSerieVar::LRMI: return Paren(y ? y->MinimumR(I - s.CoefRange, I) : NaN);
    case TSerieVar::LRMA: return Paren(y ? y->MaximumR(I - s.CoefRange, I) : NaN);
    default: return std::nullopt;
    }
}

void SubstituteSeries(QString& text, const TMeasurement& m, int I) {
    LogLine(QStringLiteral("Replacing Serie and Regression related variables"));
    struct TEntry {
        QString Name; // "S" + k
        TRtPointSeries* Series;
    };
    std::vector<TEntry> entries;
    for (int k = 1; k <= m.SerieIDCounter; ++k) {
        const QString variable = QStringLiteral("$S%1").arg(k);
        if (TRtPointSeries* s = m.FindSerie(variable))
            entries.push_back({variable.mid(1), s});
    }
    if (entries.empty())
        return;
    QString out;
    qsizetype pos = 0;
    for (qsizetype at = text.indexOf(u'$'); at >= 0; at = text.indexOf(u'$', at + 1)) {
        for (const TEntry& e : entries) {
            if (!MatchesAt(text, at + 1, e.Name))
                continue;
            const qsizetype suffixAt = at + 1 + e.Name.size();
            if (suffixAt >= text.size() || text.at(suffixAt) != u'.')
                continue;
            bool claimed = false;
            for (const TSerieSuffix& s : SerieSuffixes) {
                const QStringView suffix(s.Text);
                if (!MatchesAt(text, suffixAt, suffix))
                    continue;
                claimed = true;
                if (const std::optional<QString> value = SerieValue(*e.Series, s.Var, I)) {
                    out += QStringView(text).mid(pos, at - pos);
                    out += *value;
                    pos = suffixAt + suffix.size();
                }
                break;
            }
            if (claimed)
                break;
        }
    }
    out += QStringView(text).mid(pos);
    text = out;
}

} // namespace

QString SubstituteVariables(const TMeasurement& measurement, const TRtPointSeries* /*series*/,
                            int I, const QString& text) {
    if (!text.contains(u'$') && !text.contains(QLatin1String("LAST("), Qt::CaseInsensitive))
        return text;
    QString result = text;
    SubstituteIndex(result, I);
    if (result.contains(QLatin1String("$TIME"), Qt::CaseInsensitive))
        result.replace(QLatin1String("$TIME"), Num(Now()), Qt::CaseInsensitive);
    if (measurement.NodeCount() > 0) {
        SubstituteLast(result, measurement);
        SubstituteNodes(result, measurement, I);
    }
    if (result.contains(QLatin1String("$S")))
        SubstituteSeries(result, measurement, I);
    return result;
}

TEvaluationResult EvaluateExpressionAt(const TMeasurement& measurement, int I,
                                       const QString& expression) {
    TEvaluationResult r{NaN, QString(), false};
    if (expression.isEmpty()) {
        r.Message = QStringLiteral("Empty expression evaluated as NaN");
        return r;
    }
    return EvaluateSubstitutedText(
        measurement, AnsiString(SubstituteVariables(measurement, nullptr, I, expression)));
}

TEvaluationResult EvaluateSubstitutedText(const TMeasurement& measurement, const QString& text,
                                          const char* parserName) {
    TEvaluationResult r{NaN, QString(), false};
    try {
        TbcParser parser;
        parser.SetName(parserName);
        parser.SetMeasurementStartTime(measurement.StartTime());
        parser.SetExpression(ToWindows1252(text).toStdString());
        r.Value = static_cast<double>(parser.Evaluate());
        r.Message = QStringLiteral("Evaluated '") + text + QStringLiteral("' to: ") + FloatToStr(r.Value);
        r.Success = true;
    } catch (const std::exception& e) {
        r.Value = NaN;
        r.ErrorClass = QLatin1String(ExceptionClassName(e));
        r.ErrorMessage = FromWindows1252(QByteArray(e.what()));
        r.Message = QStringLiteral("*** ***\r\n  Exception class name\r\n    ") + r.ErrorClass +
                    QStringLiteral("\r\n  Exception message\r\n    ") + r.ErrorMessage +
                    QStringLiteral("\r\n  Expression\r\n    ") + text;
    }
    return r;
}
