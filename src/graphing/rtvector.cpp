#include "tavlo/rtvector.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tavlo/rtseries.h"

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

[[noreturn]] void RangeError(int index) {
    throw ERtRangeError(QStringLiteral("i=%1 index out of range").arg(index).toStdString());
}
} // namespace

void TRtCustomDoubleVector::TStats::Reset() {
    Min = NaN;
    Max = NaN;
    Sum = 0;
    MinIndex = -1;
    MaxIndex = -1;
    OnlyAscending = true;
    Last = 0;
    HasLast = false;
}

void TRtCustomDoubleVector::TStats::Take(double v, int index) {
    Sum += v;
    if (HasLast && !(v > Last))
        OnlyAscending = false;
    Last = v;
    HasLast = true;
    if (std::isnan(v))
        return;
    if (MinIndex < 0 || v < Min) {
        Min = v;
        MinIndex = index;
    }
    if (MaxIndex < 0 || v > Max) {
        Max = v;
        MaxIndex = index;
    }
}

TRtCustomDoubleVector::TRtCustomDoubleVector(QObject* aOwner) : QObject(aOwner) {
    FData.resize(MinimumIncrement);
    FExcl.Reset();
    FIncl.Reset();
}

TRtCustomDoubleVector::~TRtCustomDoubleVector() {
    for (TRtSeries* series : FSeries)
        series->VectorDestroyed(this);
}

void TRtCustomDoubleVector::SetIncrement(int value) {
    FIncrement = std::max(value, MinimumIncrement);
}

void TRtCustomDoubleVector::Grow(int needed) {
    if (needed <= Capacity())
        return;
    const int steps = (needed - Capacity() + FIncrement - 1) / FIncrement;
    FData.resize(static_cast<size_t>(Capacity()) + static_cast<size_t>(steps) * FIncrement, 0.0);
}

int TRtCustomDoubleVector::Add(double value) {
    CheckWritable();
    Grow(FCount + 1);
    FData[static_cast<size_t>(FCount++)] = value;
    Changed();
    return FCount;
}

void TRtCustomDoubleVector::AddRange(const std::vector<double>& values) {
    CheckWritable();
    Grow(FCount + static_cast<int>(values.size()));
    for (double v : values)
        FData[static_cast<size_t>(FCount++)] = v;
    Changed();
}

void TRtCustomDoubleVector::Insert(int index, double value) {
    CheckWritable();
    if (index < 0 || index > FCount)
        RangeError(index);
    Grow(FCount + 1);
    std::copy_backward(FData.begin() + index, FData.begin() + FCount, FData.begin() + FCount + 1);
    FData[static_cast<size_t>(index)] = value;
    ++FCount;
    for (int& o : FOutliers)
        if (o >= index)
            ++o;
    Recount();
    Changed();
}

void TRtCustomDoubleVector::Delete(int index) {
    CheckWritable();
    if (index < 0 || index >= FCount)
        RangeError(index);
    std::copy(FData.begin() + index + 1, FData.begin() + FCount, FData.begin() + index);
    --FCount;
    // Outlier marks follow their values; the mark of the deleted value goes with it.
    std::vector<int> kept;
    for (int o : FOutliers) {
        if (o < index)
            kept.push_back(o);
        else if (o > index)
            kept.push_back(o - 1);
    }
    FOutliers.swap(kept);
    Recount();
    Changed();
}

void TRtCustomDoubleVector::Clear() {
    FCount = 0;
    FOutliers.clear();
    Recount();
    for (TRtSeries* series : FSeries)
        series->VectorCleared(this);
}

double TRtCustomDoubleVector::GetValue(int index) const {
    if (index < 0 || index >= Count())
        return NaN;
    return FData[static_cast<size_t>(index)];
}

void TRtCustomDoubleVector::SetValue(int index, double value) {
    if (index < 0)
        RangeError(index);
    if (index >= FCount) {
        Grow(index + 1);
        for (int i = FCount; i < index; ++i)
            FData[static_cast<size_t>(i)] = 0; // gaps hold zero, as a new array does
        FCount = index + 1;
    }
    FData[static_cast<size_t>(index)] = value;
    if (index < FCounted)
        Recount(); // an already counted value changed
    Changed();
}

void TRtCustomDoubleVector::Recount() {
    FCounted = 0;
    FExcl.Reset();
    FIncl.Reset();
}

void TRtCustomDoubleVector::Changed() {
    for (TRtSeries* series : FSeries)
        series->VectorChanged(this);
}

void TRtCustomDoubleVector::UpdateStatistics() const {
    const int n = Count();
    if (FCounted > n) { // shrunk (indexer over a shorter reference)
        FCounted = 0;
        FExcl.Reset();
        FIncl.Reset();
    }
    for (int i = FCounted; i < n; ++i) {
        const double v = GetValue(i);
        FIncl.Take(v, i);
        if (!IsOutlier(i))
            FExcl.Take(v, i);
    }
    FCounted = n;
}

double TRtCustomDoubleVector::GetMinimum() const { UpdateStatistics(); return FExcl.Min; }
double TRtCustomDoubleVector::GetMaximum() const { UpdateStatistics(); return FExcl.Max; }
int TRtCustomDoubleVector::GetMinimumIndex() const { UpdateStatistics(); return FExcl.MinIndex; }
int TRtCustomDoubleVector::GetMaximumIndex() const { UpdateStatistics(); return FExcl.MaxIndex; }
double TRtCustomDoubleVector::GetSum() const { UpdateStatistics(); return FExcl.Sum; }
bool TRtCustomDoubleVector::GetOnlyAscending() const { UpdateStatistics(); return FExcl.OnlyAscending; }
double TRtCustomDoubleVector::GetMinimumInclOutliers() const { UpdateStatistics(); return FIncl.Min; }
double TRtCustomDoubleVector::GetMaximumInclOutliers() const { UpdateStatistics(); return FIncl.Max; }
int TRtCustomDoubleVector::GetMinimumIndexInclOutliers() const { UpdateStatistics(); return FIncl.MinIndex; }
int TRtCustomDoubleVector::GetMaximumIndexInclOutliers() const { UpdateStatistics(); return FIncl.MaxIndex; }
double TRtCustomDoubleVector::GetSumInclOutliers() const { UpdateStatistics(); return FIncl.Sum; }
bool TRtCustomDoubleVector::GetOnlyAscendingInclOutliers() const { UpdateStatistics(); return FIncl.OnlyAscending; }

namespace {
// The extreme of values from..to (clamped, either order) by better(a, b); 0 when empty.
template <class Better>
double ExtremeOf(const TRtCustomDoubleVector& v, int from, int to, Better better) {
    const int n = v.Count();
    if (n == 0)
        return 0;
    from = std::clamp(from, 0, n - 1);
    to = std::clamp(to, 0, n - 1);
    if (from > to)
        std::swap(from, to);
    double result = v.GetValue(from);
    for (int i = from + 1; i <= to; ++i)
        if (better(v.GetValue(i), result))
            result = v.GetValue(i);
    return result;
}
} // namespace

double TRtCustomDoubleVector::MinimumR(int from, int to) const {
    return ExtremeOf(*this, from, to, [](double a, double b) { return a < b; });
}

double TRtCustomDoubleVector::MaximumR(int from, int to) const {
    return ExtremeOf(*this, from, to, [](double a, double b) { return a > b; });
}

bool TRtCustomDoubleVector::IsOutlier(int index) const {
    return std::binary_search(FOutliers.begin(), FOutliers.end(), index);
}

void TRtCustomDoubleVector::AddOutlier(int index) { SetOutlier(index, true); }

void TRtCustomDoubleVector::RemoveOutlier(int index) { SetOutlier(index, false); }

void TRtCustomDoubleVector::SetOutlier(int index, bool outlier) {
    const auto it = std::lower_bound(FOutliers.begin(), FOutliers.end(), index);
    const bool present = it != FOutliers.end() && *it == index;
    if (outlier == present)
        return;
    if (outlier)
        FOutliers.insert(it, index);
    else
        FOutliers.erase(it);
    Recount();
    Changed();
}

void TRtCustomDoubleVector::ClearOutlieres() {
    if (FOutliers.empty())
        return;
    FOutliers.clear();
    Recount();
    Changed();
}

void TRtCustomDoubleVector::AttachSeries(TRtSeries* series) {
    if (std::find(FSeries.begin(), FSeries.end(), series) == FSeries.end())
        FSeries.push_back(series);
}

void TRtCustomDoubleVector::DetachSeries(TRtSeries* series) {
    FSeries.erase(std::remove(FSeries.begin(), FSeries.end(), series), FSeries.end());
}

TRtDoubleVector::TRtDoubleVector(QObject* aOwner) : TRtCustomDoubleVector(aOwner) {}

TRtIndexer::TRtIndexer(QObject* aOwner) : TRtCustomDoubleVector(aOwner) {}

int TRtIndexer::Count() const { return FReference ? FReference->Count() : 0; }

double TRtIndexer::GetValue(int index) const {
    return index >= 0 && index < Count() ? static_cast<double>(index) : NaN;
}

void TRtIndexer::SetValue(int, double) { CheckWritable(); }

void TRtIndexer::CheckWritable() const {
    throw ERtVectorError("TRtIndexer is not supposed to set values!");
}
