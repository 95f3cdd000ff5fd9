#include <gtest/gtest.h>

#include <cmath>

#include "tavlo/clock.h"
#include "tavlo/datastring.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/userinteraction.h"

namespace {
const double NaN = std::nan("");
}

TEST(DataString, WritesPointsWithTheSystemSeparator) {
    TMeasurementNode node;
    EXPECT_EQ(node.DataString(), QString());
    node.AddData(41192.4952388542, 10955.6222, 0, 0);
    node.AddData(41192.4953443519, 10954.3813, 0, 0);
    node.AddData(41192.4956130324, 10951.1862, NaN, NaN);
    {
        TDecimalSeparatorScope comma(u',');
        EXPECT_EQ(node.DataString(), QStringLiteral("41192,4952388542/10955,6222/0/0!"
                                                    "41192,4953443519/10954,3813/0/0!"
                                                    "41192,4956130324/10951,1862/NAN/NAN"));
    }
    TDecimalSeparatorScope dot(u'.');
    EXPECT_EQ(node.DataString().left(33), QStringLiteral("41192.4952388542/10955.6222/0/0!4"));
}

TEST(DataString, ReadsEitherSeparatorOnEitherSystem) {
    for (char16_t sep : {u'.', u','}) {
        TDecimalSeparatorScope scope(sep);
        TMeasurementNode node;
        node.SetDataString(QStringLiteral("41192,5/1.5/0/0!41193/NAN/NAN/NAN!1/2/3/-4E-5"));
        ASSERT_EQ(node.DataCount(), 3);
        EXPECT_EQ(node.GetData(0).Time, 41192.5);
        EXPECT_EQ(node.GetData(0).Value1, 1.5);
        EXPECT_TRUE(std::isnan(node.GetData(1).Value1));
        EXPECT_TRUE(std::isnan(node.GetData(1).Value3));
        EXPECT_EQ(node.GetData(2).Value3, -4e-5);
    }
}

TEST(DataString, RoundTripsEveryValueExactlyTo15Digits) {
    TMeasurementNode node;
    node.AddData(45123.123456789012, -1.5e-12, 6.02214076e23, NaN);
    node.AddData(45123.2, INFINITY, -INFINITY, 0);
    TMeasurementNode back;
    back.SetDataString(node.DataString());
    ASSERT_EQ(back.DataCount(), 2);
    EXPECT_DOUBLE_EQ(back.GetData(0).Time, 45123.123456789012);
    EXPECT_EQ(back.GetData(0).Value1, -1.5e-12);
    EXPECT_TRUE(std::isnan(back.GetData(0).Value3));
    // Infinities are written "INF"/"-INF" and must read back, not break the node.
    EXPECT_EQ(back.GetData(1).Value1, INFINITY);
    EXPECT_EQ(back.GetData(1).Value2, -INFINITY);
}

TEST(DataString, EmptyTextGivesAnEmptyList) {
    TMeasurementNode node;
    node.AddData(1, 2, 3, 4);
    node.SetDataString(QString());
    EXPECT_EQ(node.DataCount(), 0);
}

TEST(DataString, MalformedTextFailsAndKeepsTheList) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"1/2/3/4!abc/2/3/4", "'abc' is not a valid floating point value"},
        {"1/2/3", "List index out of bounds (3)"},
        {"1/2/3/4!", "List index out of bounds (0)"}, // a trailing separator is an empty point
        {"1/2/3/4!!5/6/7/8", "List index out of bounds (0)"},
        {"1/2/nan/4", "'nan' is not a valid floating point value"},
        {"1/2/3/1,5,5", "'1,5,5' is not a valid floating point value"},
    };
    for (const auto& c : cases) {
        TMeasurementNode node;
        node.AddData(7, 7, 7, 7);
        try {
            node.SetDataString(QString::fromLatin1(c.text));
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const EDataStringError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.text;
        }
        ASSERT_EQ(node.DataCount(), 1) << c.text;
        EXPECT_EQ(node.GetData(0).Value1, 7);
    }
}

TEST(DataString, BlanksSplitAsThePlatformRuleDoes) {
    // Blanks and line breaks around points are skipped; fields after the fourth are not read.
    TMeasurementNode node;
    node.SetDataString(QStringLiteral(" 1/2/3/4/xyz!\r\n5/6/7/8 "));
    ASSERT_EQ(node.DataCount(), 2);
    EXPECT_EQ(node.GetData(1).Time, 5);
    EXPECT_EQ(node.GetData(1).Value3, 8);
    // A blank inside a point splits it.
    EXPECT_THROW(node.SetDataString(QStringLiteral("1/2/3 4")), EDataStringError);
    // A quoted field is read without its quotes.
    node.SetDataString(QStringLiteral("\"1/2/3/4\""));
    EXPECT_EQ(node.DataCount(), 1);
}

TEST(PointList, GetDataBeyondTheListReturnsTheCallersRecord) {
    TMeasurementNode node;
    EXPECT_EQ(node.GetData(0).Time, 0);
    EXPECT_EQ(node.GetData(-3).Value1, 0);
    const TMeasurementResult mine{9, 8, 7, 6};
    EXPECT_EQ(node.GetData(1, mine).Time, 9);
    for (int i = 0; i < 5; ++i)
        node.AddData(i + 1, i, i, i);
    EXPECT_EQ(node.GetData(5, mine).Value1, 8);
    EXPECT_EQ(node.GetData(-1, mine).Value3, 6);
    EXPECT_EQ(node.GetData(4, mine).Time, 5);
}

TEST(PointList, DataSizePadsWithTimedZeroPoints) {
    TMeasurementNode node;
    for (int i = 0; i < 7; ++i)
        node.AddData(100 + i, NaN, 1, 2);
    const double before = Now();
    node.DataSize(10);
    ASSERT_EQ(node.DataCount(), 10);
    for (int i = 7; i < 10; ++i) {
        EXPECT_GE(node.GetData(i).Time, before);
        EXPECT_LE(node.GetData(i).Time, Now());
        EXPECT_EQ(node.GetData(i).Value1, 0);
        EXPECT_EQ(node.GetData(i).Value3, 0);
    }
    node.DataSize(3);
    ASSERT_EQ(node.DataCount(), 3);
    EXPECT_EQ(node.GetData(2).Time, 102);
    node.DataSize(-1);
    EXPECT_EQ(node.DataCount(), 3);
}

TEST(PointList, SetDataOutOfRangeShowsTheMessageAndKeepsTheList) {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TMeasurementNode node;
    node.AddData(1, 1, 1, 1);
    node.SetData(0, {2, 2, 2, 2});
    node.SetData(1, {3, 3, 3, 3});
    node.SetData(-1, {3, 3, 3, 3});
    EXPECT_EQ(ui.Messages(), (QStringList{"Set fData, out of index:1", "Set fData, out of index:-1"}));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_EQ(node.GetData(0).Value1, 2);
    node.ClearData();
    EXPECT_EQ(node.DataCount(), 0);
}
