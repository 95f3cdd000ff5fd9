#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cmath>
#include <random>

#include "tavlo/clock.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"
#include "tavlo/userinteraction.h"
#include "tavlo/variables.h"
#include "testutil.h"

namespace {

std::unique_ptr<TMeasurement> LoadFixture() {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TLoadOptions options;
    options.AskActive = false;
    std::unique_ptr<TMeasurement> m(LoadMeasurement(FixturePath("variables.mea"), nullptr, options));
    EXPECT_TRUE(m);
    EXPECT_EQ(m->NodeCount(), 4);
    return m;
}

QString Sub(const TMeasurement& m, int I, const char* text) {
    return SubstituteVariables(m, nullptr, I, QString::fromLatin1(text));
}

// The substitution as plain search and replace, name by name, to check the fast one against.
QString Reference(const TMeasurement& m, int I, QString text) {
    auto num = [](double v) { return FloatToStrDot(v); };
    auto par = [&](double v) { return "(" + num(v) + ")"; };
    const int powers[] = {12, 9, 6, 5, 4, 3, 2, 1};
    for (int p : powers)
        text.replace(QStringLiteral("$I.%1").arg(p), num(I / std::pow(10.0, p)), Qt::CaseInsensitive);
    for (int p : powers) {
        long double f = I * std::pow(10.0L, p);
        text.replace(QStringLiteral("$I%1").arg(p), QString::number(static_cast<qint64>(f)),
                     Qt::CaseInsensitive);
    }
    text.replace("$I", QString::number(I), Qt::CaseInsensitive);
    for (int k = 0; k < m.NodeCount(); ++k) {
        const TMeasurementNode* n = m.Node(k);
        const QString v = "$" + n->objectName();
        TMeasurementResult p = n->DataCount() == 0 && I <= 0 ? TMeasurementResult{}
                               : I < n->DataCount() ? n->GetData(I)
                                                    : TMeasurementResult{NAN, NAN, NAN, NAN};
        auto rep = [&](const char* suffix, const QString& value) {
            text.replace(v + QLatin1String(suffix), value, Qt::CaseInsensitive);
        };
        rep(".DF1", par(p.Value1)); rep(".DF2", par(p.Value2)); rep(".DF3", par(p.Value3));
        rep(".V1", par(p.Value1)); rep(".V2", par(p.Value2)); rep(".V3", par(p.Value3));
        rep(".TI", par(p.Time)); rep(".TS", par(n->TS(I))); rep(".TM", par(n->TM(I)));
        rep(".TH", par(n->TH(I))); rep(".TD", par(n->TD(I)));
        rep(".ISNAN1", std::isnan(p.Value1) ? "(1)" : "(0)");
        rep(".FAM", n->FAM > 0 ? par(n->GetFAM()) : "(0)");
        if (n->NodeType == "IS")
            rep(".SF", n->SweepFinished ? "(1)" : "(0)");
        if (!(I < n->DataCount() || (I == 0 && n->DataCount() == 0)))
            continue;
        if (text.contains(v + ".MAX1", Qt::CaseInsensitive)) rep(".MAX1", par(n->MaxVal(1)));
        else if (text.contains(v + ".MAX2", Qt::CaseInsensitive)) rep(".MAX2", par(n->MaxVal(2)));
        else rep(".MAX3", par(n->MaxVal(3)));
        const TMeasurementImpResult z = n->Imp(I);
        if (n->NodeType == "IS" || n->NodeType == "IC") {
            rep(".RS", par(p.Value1)); rep(".X", par(p.Value2)); rep(".F", par(p.Value3));
            rep(".PA2", par(z.PA2)); rep(".P", par(z.P)); rep(".Z", par(z.Z)); rep(".Y", par(z.Y));
            rep(".G", par(z.G)); rep(".B", par(z.B)); rep(".RP", par(z.RP)); rep(".LS", par(z.LS));
            rep(".LP", par(z.LP)); rep(".CS", par(z.CS)); rep(".CP", par(z.CP));
        }
        if (n->NodeType == "M2") rep(".M2", par(p.Value1));
        if (n->NodeType == "ET") { rep(".ET", par(p.Value1)); rep(".WSP", par(p.Value2)); rep(".OP", par(p.Value3)); }
        if (n->NodeType == "AU" && n->AUType == "Furnace") { rep(".AF1", par(p.Value1)); rep(".AF2", par(p.Value2)); }
        rep(".AM1", par(p.Value1));
    }
    return text;
}

} // namespace

TEST(Variables, IndexVariables) {
    TMeasurement empty;
    const struct {
        const char* text;
        const char* result;
    } cases[] = {
        {"$I", "7"},         {"$I3", "7000"},      {"$I.3", "0.007"},
        {"$I12", "7000000000000"}, {"$I9", "7000000000"}, {"$i2+$I.12", "700+7E-12"},
        {"$I.1*$I1", "0.7*70"}, {"2*$I", "2*7"},    {"no variables", "no variables"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sub(empty, 7, c.text), QString::fromLatin1(c.result)) << c.text;
    // Exact beyond 64 bits of the platform's integers.
    EXPECT_EQ(Sub(empty, 2000000000, "$I12"), "2000000000000000000000");
    const double t = Sub(empty, 0, "$TIME").toDouble();
    EXPECT_NEAR(t, Now(), 1.0 / SecondsPerDay);
}

TEST(Variables, NodeValues) {
    const auto m = LoadFixture();
    const struct {
        int I;
        const char* text;
        const char* result;
    } cases[] = {
        {0, "$n1.v1*2", "(2.5)*2"},
        {1, "$N1.DF2", "(NAN)"},
        {1, "$N1.ISNAN1+$N1.V3", "(0)+(0)"},
        {2, "$N1.ISNAN1", "(1)"},
        {0, "$N1.M2", "(2.5)"},
        {0, "$N1.FAM", "(0)"},              // never ran
        {0, "$N2.OX", "$N2.OX"},            // not an OX node
        {0, "$N1.MAX1+$N1.MAX2", "(2.75)+$N1.MAX2"},
        {0, "$N1.MAX2+$N1.MAX3", "(0)+$N1.MAX3"},
        {0, "$N2.SF", "(1)"},
        {0, "$N1.SF", "$N1.SF"},            // only sweep nodes
        {1, "$N2.RS/$N2.X/$N2.F", "(200)/(-50)/(100)"},
        {0, "$N2.P", "(-45)"},
        {0, "$N2.PV", "(-45)V"},            // .P is replaced where it matches
        {0, "$N3.ET-$N3.WSP+$N3.OP", "(850)-(851)+(40)"},
        {0, "$N4.AF1/$N4.AF2+$N4.AM1", "(900)/(5)+(900)"},
        {0, "$N12.V1+$N1.V10", "$N12.V1+(2.5)0"},
        {1, "$N$I.V1", "(2.75)"},           // the index first, then the node
        {5, "$N1.V1+$N1.TS+$N1.M2", "(NAN)+(-1)+$N1.M2"}, // beyond the points
        {5, "$N4.V1", "(NAN)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sub(*m, c.I, c.text), QString::fromLatin1(c.result)) << c.text << " at " << c.I;
    EXPECT_NEAR(Sub(*m, 1, "$N1.TS").mid(1).chopped(1).toDouble(), 864, 1e-6);
    EXPECT_GT(Sub(*m, 0, "$N1.LAM").mid(1).chopped(1).toDouble(), 1e6); // never ran: large
    EXPECT_EQ(Sub(*m, 0, "$N2.Z").left(11), "(141.421356");
}

TEST(Variables, NumbersUseAPointOnACommaSystem) {
    const auto m = LoadFixture();
    TDecimalSeparatorScope comma(u',');
    EXPECT_EQ(Sub(*m, 0, "$N1.V1+$I.1"), "(2.5)+0");
    EXPECT_EQ(Sub(*m, 3, "$I.1"), "0.3");
}

TEST(Variables, TheFastSubstitutionEqualsNameByNameReplacement) {
    const auto m = LoadFixture();
    const char* tokens[] = {
        "$N1.V1", "$n1.v10", "$N1.PV", "$N2.PV", "$N2.PA2", "$N2.P", "$N2.X", "$N2.XS",
        "$N1.MAX2", "$N1.MAX1", "$N2.MAX3", "$N3.ET", "$N3.WSP", "$N3.OP", "$N4.AF1",
        "$N4.AF2", "$N4.AM1", "$N1.AM1", "$I", "$I1", "$I12", "$I.1", "$I.12", "$N$I.V1",
        "$N1", "$", "+", "*", "(", ")", "2", ".", "$N12.V1", "$N2.SF", "$N1.SF", "$N2.RS",
        "$N2.F", "$N2.FAM", "$N1.TS", "$N1.TI", "$N1.ISNAN1", "$N3.FLS", "$N2.CP", "$N2.Y",
        "$N1.DF3", "$N$I", ".V1", "$N2.LP", "$N2.B", "$N1.M2", "$N2.M2", "$N3.MAX1",
    };
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(tokens)) - 1);
    std::uniform_int_distribution<int> length(1, 8);
    for (int round = 0; round < 4000; ++round) {
        QString text;
        for (int k = length(rng); k > 0; --k)
            text += QLatin1String(tokens[pick(rng)]);
        for (int I : {0, 1, 2, 5}) {
            ASSERT_EQ(SubstituteVariables(*m, nullptr, I, text), Reference(*m, I, text))
                << text.toStdString() << " at " << I;
        }
    }
}

TEST(Variables, LastWindow) {
    TMeasurement m;
    auto* n = new TMeasurementNode;
    n->setObjectName("N1");
    const double now = Now();
    for (int i = 0; i < 20; ++i) // one point every 1.5 minutes, the last one now
        n->AddData(now - (19 - i) * 1.5 / MinutesPerDay, 100 + i, 5, 0);
    m.AddNode(n);
    const struct {
        const char* text;
        const char* result;
    } cases[] = {
        {"LAST(GT,N1,1,10,113)", " 1 "},   // the last 10 minutes hold 113 .. 119
        {"LAST(GT,N1,1,10,114)", " 0 "},
        {"LAST(GT,N1,1,30,100)", " 1 "},
        {"LAST(GT,N1,1,30,101)", " 0 "},
        {"LAST(lt,n1,2,10,5)", " 1 "},
        {"LAST(LT,N1,1,5,118)", " 0 "},
        {"LAST(LT,N1,1,5,119.5)", " 1 "},
        {"LAST(GT,N1,4,10,100)", "## Error in LAST-function ##"},
        {"LAST(GT,N9,1,10,100)", "## Error in LAST-function ##"},
        {"LAST(GT,N1,1,10)", "## Error in LAST-function ##"},
        {"2*LAST(GT,N1,1,10,100)+LAST(LT,N1,1,10,0)", "2* 1 + 0 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sub(m, 0, c.text), QString::fromLatin1(c.result)) << c.text;
    QString res;
    EXPECT_TRUE(m.LAST("LAST(GT,N1,1,10,100)", res));
    EXPECT_EQ(res, " 1 ");
    // Without nodes LAST stays in the text.
    TMeasurement none;
    EXPECT_EQ(Sub(none, 0, "LAST(GT,N1,1,10,100)"), "LAST(GT,N1,1,10,100)");
}

TEST(Variables, SeriesStatisticsAndRegression) {
    TMeasurement m;
    m.SerieIDCounter = 2;
    auto* graph = new TRtGraph2D;
    m.Graphs->Add(graph);
    auto* x = new TRtDoubleVector(graph);
    auto* y = new TRtDoubleVector(graph);
    auto* s = new TRtPointSeries(graph);
    s->setObjectName("S_A");
    s->ExpressionVariable = "$S1";
    s->SetXData(x);
    s->SetYData(y);
    s->CoefRange = 2;
    auto* r = new TRtLinearRegression(s);
    r->setObjectName("S_AR");
    r->SetXData(x);
    r->SetYData(y);
    x->AddRange({0, 1, 2, 3});
    y->AddRange({1, 3, 5, 7});
    EXPECT_EQ(m.FindSerie("$S1"), s);
    EXPECT_EQ(m.FindSerie("$S2"), nullptr);
    const struct {
        int I;
        const char* text;
        const char* result;
    } cases[] = {
        {0, "$S1.C", "(4)"},        {0, "$S1.XS+$S1.XAV", "(6)+(1.5)"},
        {0, "$S1.YMI/$S1.YMA", "(1)/(7)"}, {0, "$S1.YS", "(16)"}, {0, "$S1.YAV", "(4)"},
        {1, "$S1.YP", "(0)"},       {2, "$S1.YP+$S1.Y", "(3)+(5)"}, {9, "$S1.Y", "(NAN)"},
        {0, "$S1.LRR", "(2)"},      {0, "$S1.LRA+$S1.LRB", "(1)+(2)"},
        {0, "$S1.LRI", "(1)"},      {3, "$S1.LRMI/$S1.LRMA", "(3)/(7)"},
        {0, "$S2.C", "$S2.C"},      // no such series
        {0, "$s1.c", "$s1.c"},      // "$S" must be in the text
        {0, "$s1.c+$S", "(4)+$S"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sub(m, c.I, c.text), QString::fromLatin1(c.result)) << c.text;
    // The regression follows new points.
    x->Add(4);
    y->Add(19);
    EXPECT_NE(Sub(m, 0, "$S1.LRB"), "(2)");
}

TEST(Variables, EvaluateAtAnIndex) {
    const auto m = LoadFixture();
    TEvaluationResult r = EvaluateExpressionAt(*m, 0, "$N1.V1*2");
    EXPECT_TRUE(r.Success);
    EXPECT_EQ(r.Value, 5);
    EXPECT_EQ(r.Message, "Evaluated '(2.5)*2' to: 5");

    r = EvaluateExpressionAt(*m, 0, "");
    EXPECT_FALSE(r.Success);
    EXPECT_TRUE(std::isnan(r.Value));
    EXPECT_EQ(r.Message, "Empty expression evaluated as NaN");

    r = EvaluateExpressionAt(*m, 0, "1/($N1.V3)");
    EXPECT_FALSE(r.Success);
    EXPECT_TRUE(std::isnan(r.Value));
    EXPECT_EQ(r.Message, "*** ***\r\n  Exception class name\r\n    EZeroDivide\r\n  Exception "
                         "message\r\n    Floating point division by zero\r\n  Expression\r\n    1/((0))");

    r = EvaluateExpressionAt(*m, 0, "$N9.V1+1");
    EXPECT_FALSE(r.Success);
    EXPECT_TRUE(r.Message.contains("    EbcParserError\r\n"));
    EXPECT_TRUE(r.Message.endsWith("  Expression\r\n    $N9.V1+1"));

    // The measurement's start time drives the elapsed-time functions.
    TDecimalSeparatorScope comma(u',');
    r = EvaluateExpressionAt(*m, 0, "$N1.V1/4");
    EXPECT_EQ(r.Message, "Evaluated '(2.5)/4' to: 0,625");
}
