#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>
#include <vector>

class TRtSeries;

// An index outside a vector.
class ERtRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A vector that does not accept values.
class ERtVectorError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// A growable array of doubles with lazily kept statistics (minimum, maximum, their indices,
// sum, only-ascending), once without and once with the values marked as outliers.
class TRtCustomDoubleVector : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)

public:
    static constexpr int MinimumIncrement = 128;

    explicit TRtCustomDoubleVector(QObject* aOwner = nullptr);
    ~TRtCustomDoubleVector() override;

    virtual int Count() const { return FCount; }
    int Capacity() const { return static_cast<int>(FData.size()); }
    int Increment() const { return FIncrement; }
    void SetIncrement(int value);

    // Appends a value; returns the new count.
    int Add(double value);
    void AddRange(const std::vector<double>& values);
    // Inserts before index (0..Count); beyond raises "i=%d index out of range".
    void Insert(int index, double value);
    void Delete(int index);
    void Clear();
    // NaN beyond the count.
    virtual double GetValue(int index) const;
    // Sets the value, extending the vector when index is beyond the count.
    virtual void SetValue(int index, double value);
    double operator[](int index) const { return GetValue(index); }

    // Statistics over the values that are not outliers, and over all values. An empty vector
    // (or one whose values are all NaN) gives NaN and index -1.
    double GetMinimum() const;
    double GetMaximum() const;
    int GetMinimumIndex() const;
    int GetMaximumIndex() const;
    double GetSum() const;
    bool GetOnlyAscending() const;
    double GetMinimumInclOutliers() const;
    double GetMaximumInclOutliers() const;
    int GetMinimumIndexInclOutliers() const;
    int GetMaximumIndexInclOutliers() const;
    double GetSumInclOutliers() const;
    bool GetOnlyAscendingInclOutliers() const;
    // Values added since the statistics were last brought up to date.
    bool IsChanged() const { return FCounted < Count(); }

    // Minimum and maximum over indices from..to (clamped to the vector); 0 when empty.
    double MinimumR(int from, int to) const;
    double MaximumR(int from, int to) const;

    bool IsOutlier(int index) const;
    void AddOutlier(int index);
    void RemoveOutlier(int index);
    void SetOutlier(int index, bool outlier);
    void ClearOutlieres();
    int OutlierCount() const { return static_cast<int>(FOutliers.size()); }

    // Series using the vector are told when values change or the vector is cleared.
    void AttachSeries(TRtSeries* series);
    void DetachSeries(TRtSeries* series);

protected:
    void Changed();
    void Recount();
    // Raises for vectors that do not hold values of their own.
    virtual void CheckWritable() const {}

private:
    struct TStats {
        double Min, Max, Sum;
        int MinIndex, MaxIndex;
        bool OnlyAscending;
        double Last; // previous counted value, for the ascending test
        bool HasLast;
        void Reset();
        void Take(double v, int index);
    };
    void UpdateStatistics() const;
    void Grow(int needed);

    std::vector<double> FData;
    int FCount = 0;
    int FIncrement = MinimumIncrement;
    std::vector<int> FOutliers; // sorted indices
    mutable TStats FExcl{}, FIncl{};
    mutable int FCounted = 0;
    std::vector<TRtSeries*> FSeries;
};

class TRtDoubleVector : public TRtCustomDoubleVector {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRtDoubleVector(QObject* aOwner = nullptr);
};

// The indices 0..n-1 of a reference vector as values.
class TRtIndexer : public TRtCustomDoubleVector {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRtIndexer(QObject* aOwner = nullptr);
    void SetReference(TRtCustomDoubleVector* reference) { FReference = reference; }
    TRtCustomDoubleVector* Reference() const { return FReference; }
    int Count() const override;
    double GetValue(int index) const override;
    void SetValue(int index, double value) override;

protected:
    void CheckWritable() const override;

private:
    TRtCustomDoubleVector* FReference = nullptr;
};

// Plain growable arrays with the same capacity rule (tick flags, outlier indices, pixels).
template <class T> class TRtTypedVector {
public:
    TRtTypedVector() { FData.reserve(TRtCustomDoubleVector::MinimumIncrement); }
    int Count() const { return static_cast<int>(FData.size()); }
    int Capacity() const { return static_cast<int>(FData.capacity()); }
    int Add(const T& value) {
        if (FData.size() == FData.capacity())
            FData.reserve(FData.capacity() + static_cast<size_t>(FIncrement));
        FData.push_back(value);
        return Count();
    }
    T Get(int index) const {
        if (index < 0 || index >= Count())
            throw ERtRangeError(QStringLiteral("i=%1 index out of range").arg(index).toStdString());
        return FData[static_cast<size_t>(index)];
    }
    void Set(int index, const T& value) {
        if (index < 0)
            throw ERtRangeError(QStringLiteral("i=%1 index out of range").arg(index).toStdString());
        if (index >= Count())
            FData.resize(static_cast<size_t>(index) + 1);
        FData[static_cast<size_t>(index)] = value;
    }
    void Clear() { FData.clear(); }
    int Increment() const { return FIncrement; }
    void SetIncrement(int value) {
        FIncrement = value < TRtCustomDoubleVector::MinimumIncrement
                         ? TRtCustomDoubleVector::MinimumIncrement
                         : value;
    }

private:
    std::vector<T> FData;
    int FIncrement = TRtCustomDoubleVector::MinimumIncrement;
};

struct TRtPointF {
    float X = 0;
    float Y = 0;
};

using TRtBooleanVector = TRtTypedVector<bool>;
using TRtIntegerVector = TRtTypedVector<int>;
using TRtSingleVector = TRtTypedVector<float>;
using TRtPointVector = TRtTypedVector<TRtPointF>;
