#include <gtest/gtest.h>

#include <cmath>

#include "tavlo/rtvector.h"

TEST(DoubleVector, CapacityGrowsByIncrements) {
    TRtDoubleVector v;
    EXPECT_EQ(v.Capacity(), 128);
    for (int i = 0; i < 128; ++i)
        v.Add(i);
    EXPECT_EQ(v.Capacity(), 128);
    EXPECT_EQ(v.Add(128), 129);
    EXPECT_EQ(v.Capacity(), 256);
    v.SetIncrement(100);
    EXPECT_EQ(v.Increment(), 128);
    v.SetIncrement(1000);
    v.SetValue(300, 1);
    EXPECT_EQ(v.Capacity(), 1256);
    EXPECT_EQ(v.Count(), 301);
    EXPECT_EQ(v.GetValue(200), 0); // the gap
}

TEST(DoubleVector, ValuesAndRanges) {
    TRtDoubleVector v;
    EXPECT_TRUE(std::isnan(v.GetValue(0)));
    EXPECT_EQ(v.MinimumR(0, 5), 0);
    EXPECT_EQ(v.MaximumR(0, 5), 0);
    v.AddRange({5, 3, 8, 1, 9});
    EXPECT_TRUE(std::isnan(v.GetValue(5)));
    EXPECT_TRUE(std::isnan(v.GetValue(-1)));
    EXPECT_EQ(v.MinimumR(1, 2), 3);
    EXPECT_EQ(v.MaximumR(-10, 2), 8);  // clamped
    EXPECT_EQ(v.MinimumR(2, 100), 1);  // clamped
    v.Insert(0, 7);
    EXPECT_EQ(v.GetValue(0), 7);
    EXPECT_EQ(v.Count(), 6);
    v.Delete(0);
    EXPECT_EQ(v.GetValue(0), 5);
    try {
        v.Insert(7, 1);
        ADD_FAILURE();
    } catch (const ERtRangeError& e) {
        EXPECT_STREQ(e.what(), "i=7 index out of range");
    }
    EXPECT_THROW(v.Delete(5), ERtRangeError);
    v.Clear();
    EXPECT_EQ(v.Count(), 0);
}

TEST(DoubleVector, StatisticsFollowTheValues) {
    TRtDoubleVector v;
    EXPECT_TRUE(std::isnan(v.GetMinimum()));
    EXPECT_EQ(v.GetMinimumIndex(), -1);
    v.AddRange({1, 2, 3});
    EXPECT_TRUE(v.GetOnlyAscending());
    EXPECT_FALSE(v.IsChanged());
    v.Add(3);
    EXPECT_TRUE(v.IsChanged());
    EXPECT_FALSE(v.GetOnlyAscending()); // 1, 2, 3, 3
    EXPECT_EQ(v.GetSum(), 9);
    EXPECT_EQ(v.GetMaximum(), 3);
    EXPECT_EQ(v.GetMaximumIndex(), 2);
    v.Add(-4);
    EXPECT_EQ(v.GetMinimum(), -4);
    EXPECT_EQ(v.GetMinimumIndex(), 4);
    // Changing a counted extreme recounts.
    v.SetValue(4, 10);
    EXPECT_EQ(v.GetMinimum(), 1);
    EXPECT_EQ(v.GetMaximum(), 10);
    EXPECT_EQ(v.GetSum(), 19);
    v.Delete(4);
    EXPECT_EQ(v.GetMaximum(), 3);
}

TEST(DoubleVector, OutliersAreLeftOutOfOneSetOfStatistics) {
    TRtDoubleVector v;
    v.AddRange({1, 100, 2, 3});
    EXPECT_EQ(v.GetMaximum(), 100);
    v.AddOutlier(1);
    EXPECT_TRUE(v.IsOutlier(1));
    EXPECT_EQ(v.GetMaximum(), 3);
    EXPECT_EQ(v.GetSum(), 6);
    EXPECT_TRUE(v.GetOnlyAscending()); // 1, 2, 3 without the outlier
    EXPECT_EQ(v.GetMaximumInclOutliers(), 100);
    EXPECT_EQ(v.GetSumInclOutliers(), 106);
    EXPECT_FALSE(v.GetOnlyAscendingInclOutliers());
    v.Delete(0); // the mark follows its value
    EXPECT_TRUE(v.IsOutlier(0));
    EXPECT_FALSE(v.IsOutlier(1));
    v.ClearOutlieres();
    EXPECT_EQ(v.GetMaximum(), 100);
    v.SetOutlier(2, true);
    v.RemoveOutlier(2);
    EXPECT_EQ(v.OutlierCount(), 0);
}

TEST(Indexer, GivesIndicesAndRefusesValues) {
    TRtDoubleVector data;
    data.AddRange({9, 8, 7});
    TRtIndexer indexer;
    indexer.SetReference(&data);
    EXPECT_EQ(indexer.Count(), 3);
    EXPECT_EQ(indexer.GetValue(2), 2);
    EXPECT_TRUE(std::isnan(indexer.GetValue(3)));
    EXPECT_EQ(indexer.GetMaximum(), 2);
    try {
        indexer.SetValue(0, 1);
        ADD_FAILURE();
    } catch (const ERtVectorError& e) {
        EXPECT_STREQ(e.what(), "TRtIndexer is not supposed to set values!");
    }
    EXPECT_THROW(indexer.Add(1), ERtVectorError);
}

TEST(TypedVectors, GrowAndCheckIndices) {
    TRtIntegerVector ints;
    for (int i = 0; i < 129; ++i)
        ints.Add(i);
    EXPECT_EQ(ints.Count(), 129);
    EXPECT_GE(ints.Capacity(), 256);
    EXPECT_EQ(ints.Get(128), 128);
    EXPECT_THROW(ints.Get(129), ERtRangeError);
    TRtPointVector points;
    points.Set(2, {1.5f, 2.5f});
    EXPECT_EQ(points.Count(), 3);
    EXPECT_EQ(points.Get(2).Y, 2.5f);
    TRtBooleanVector flags;
    flags.Add(true);
    EXPECT_TRUE(flags.Get(0));
}
