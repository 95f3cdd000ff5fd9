#include <gtest/gtest.h>

#include <QVariant>

#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"

TEST(PointSeries, CountIsTheShorterVector) {
    TRtGraph2D graph;
    auto* x = new TRtDoubleVector(&graph);
    auto* y = new TRtDoubleVector(&graph);
    auto* s = new TRtPointSeries(&graph);
    EXPECT_EQ(s->Count(), 0);
    s->SetXData(x);
    s->SetYData(y);
    for (int i = 0; i < 10; ++i)
        x->Add(i);
    for (int i = 0; i < 8; ++i)
        y->Add(i);
    EXPECT_EQ(s->Count(), 8);
    EXPECT_EQ(s->Graph(), &graph);
    EXPECT_EQ(graph.Series(), QList<TRtSeries*>{s});
    EXPECT_TRUE(s->PointsModified());
    s->ClearPointsModified();
    y->Clear();
    EXPECT_TRUE(s->PointsModified());
    EXPECT_EQ(s->Count(), 0);
}

TEST(PointSeries, ChangedExpressionsNeedValidation) {
    TRtPointSeries s;
    s.ExpressionsTested = s.ExpressionsValid = true;
    s.SetYExpression("$N1.V1");
    EXPECT_FALSE(s.ExpressionsTested);
    EXPECT_FALSE(s.ExpressionsValid);
    EXPECT_TRUE(s.ExpressionsChanged);
    s.ExpressionsTested = s.ExpressionsValid = true;
    s.ExpressionsChanged = false;
    s.SetYExpression("$N1.V1"); // the same text changes nothing
    EXPECT_TRUE(s.ExpressionsValid);
    EXPECT_FALSE(s.ExpressionsChanged);
    s.setProperty("XExpression", QStringLiteral("$N1.TM"));
    EXPECT_TRUE(s.ExpressionsChanged);
}

TEST(PointSeries, SweepNode) {
    const struct {
        const char* x;
        const char* y;
        int node;
    } cases[] = {
        {"$N5.F*2", "", 5},     {"", "$N12.Z", 12},   {"$n3.rs", "$N4.F", 3},
        {"$N1.TM", "$N7.CP", 7}, {"$N1.V1", "$N2.V2", 0}, {"", "", 0},
    };
    for (const auto& c : cases) {
        TRtPointSeries s;
        s.SetXExpression(c.x);
        s.SetYExpression(c.y);
        EXPECT_EQ(s.GetSweepNode(), c.node) << c.x << " / " << c.y;
    }
}

TEST(PointSeries, OwnsItsRegressionByName) {
    TRtGraph2D graph;
    auto* s = new TRtPointSeries(&graph);
    s->setObjectName("S_ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(s->Regression(), nullptr);
    auto* other = new TRtLinearRegression(s);
    other->setObjectName("Other");
    auto* r = new TRtLinearRegression(s);
    r->setObjectName("S_ABCDEFGHIJKLMNOPQRSTR");
    EXPECT_EQ(s->Regression(), r);
    // A regression is not one of the graph's own series.
    EXPECT_EQ(graph.Series().size(), 1);
}

TEST(PointSeries, StyleDefaults) {
    TRtPointSeries s;
    EXPECT_TRUE(s.Line->Visible);
    EXPECT_EQ(s.Line->Color, RtColors::Red);
    EXPECT_EQ(s.Line->DashStyle, TRtSimpleLineSettings::DashStyleSolid);
    EXPECT_FALSE(s.Area->Visible);
    EXPECT_EQ(s.Area->ForeColor, RtColors::LightGray);
    EXPECT_EQ(s.Area->BackColor, RtColors::DarkGray);
    EXPECT_EQ(static_cast<int>(TRtAreaSettings::SolidDiamond), 52);
    EXPECT_EQ(static_cast<int>(TRtAreaSettings::Total), 53);
    EXPECT_TRUE(s.PointSymbol->Visible);
    EXPECT_EQ(s.PointSymbol->FillColor, RtColors::Blue);
    EXPECT_EQ(static_cast<int>(TRtPointSymbolSettings::Nabla), 9);
    EXPECT_EQ(s.Area->Gradient->MiddleColor, 0xFFB0B0B0u);
    EXPECT_EQ(s.Area->Gradient->LinearAngle, 90.0f);
    // A change through the property system tells the owner.
    int changes = 0;
    QObject::connect(s.Line, &TRtSimpleLineSettings::Changed, [&] { ++changes; });
    s.Line->setProperty("Width", 4.0f);
    EXPECT_EQ(s.Line->Width, 4.0f);
    EXPECT_EQ(changes, 1);
}
