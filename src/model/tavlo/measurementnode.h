#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

#include "tavlo/measurementresult.h"

class TMeasurement;

// One step of a measurement: a reading or an action, with its settings as published
// properties (declaration order is file order) and its list of points.
class TMeasurementNode : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(QString NodeType MEMBER NodeType)
    Q_PROPERTY(QString Instrument MEMBER Instrument)
    Q_PROPERTY(QString Switch MEMBER Switch)
    Q_PROPERTY(QString Connection MEMBER Connection)
    Q_PROPERTY(QString DataString READ DataString WRITE SetDataString)
    Q_PROPERTY(bool Active MEMBER Active)
    Q_PROPERTY(QString Defaults MEMBER Defaults)
    Q_PROPERTY(bool ConstantVoltage MEMBER ConstantVoltage)
    Q_PROPERTY(bool ConstantCurrent MEMBER ConstantCurrent)
    Q_PROPERTY(double ACVoltage MEMBER ACVoltage)
    Q_PROPERTY(double ACCurrent MEMBER ACCurrent)
    Q_PROPERTY(double DCBias MEMBER DCBias)
    Q_PROPERTY(double DCBiasWait MEMBER DCBiasWait)
    Q_PROPERTY(double Frequency MEMBER Frequency)
    Q_PROPERTY(double MFIARR MEMBER MFIARR)
    Q_PROPERTY(double SweepStartHz MEMBER SweepStartHz)
    Q_PROPERTY(double SweepEndHz MEMBER SweepEndHz)
    Q_PROPERTY(int SweepPoints MEMBER SweepPoints)
    Q_PROPERTY(double SweepStep MEMBER SweepStep)
    Q_PROPERTY(bool SweepFinished MEMBER SweepFinished)
    Q_PROPERTY(bool SampleCorrect MEMBER SampleCorrect)
    Q_PROPERTY(double SampleArea MEMBER SampleArea)
    Q_PROPERTY(double SampeThickness MEMBER SampeThickness)
    Q_PROPERTY(double SampleDensity MEMBER SampleDensity)
    Q_PROPERTY(QString GPIBBeforePoint MEMBER GPIBBeforePoint)
    Q_PROPERTY(QString GPIBDuring MEMBER GPIBDuring)
    Q_PROPERTY(QString GPIBAfterPoint MEMBER GPIBAfterPoint)
    Q_PROPERTY(QString SwitchGPIBBeforePoint MEMBER SwitchGPIBBeforePoint)
    Q_PROPERTY(QString SwitchGPIBAfterPoint MEMBER SwitchGPIBAfterPoint)
    Q_PROPERTY(QString StartExpression MEMBER StartExpression)
    Q_PROPERTY(QString StopExpression MEMBER StopExpression)
    Q_PROPERTY(QString AUType MEMBER AUType)
    Q_PROPERTY(QString AURampProgram MEMBER AURampProgram)
    Q_PROPERTY(double AFTime MEMBER AFTime)
    Q_PROPERTY(QString AF1Expression MEMBER AF1Expression)
    Q_PROPERTY(QString AF2Expression MEMBER AF2Expression)
    Q_PROPERTY(int AF1Value MEMBER AF1Value)
    Q_PROPERTY(int AF2Value MEMBER AF2Value)
    Q_PROPERTY(double AF3Value MEMBER AF3Value)
    Q_PROPERTY(double AF1Max MEMBER AF1Max)
    Q_PROPERTY(double AF2Max MEMBER AF2Max)
    Q_PROPERTY(double AGTime READ GetAGTime WRITE SetAGTime) // shares AFTime
    Q_PROPERTY(QString AG1Expression MEMBER AG1Expression)
    Q_PROPERTY(QString AG2Expression MEMBER AG2Expression)
    Q_PROPERTY(QString AG3Expression MEMBER AG3Expression)
    Q_PROPERTY(QString AG1Format MEMBER AG1Format)
    Q_PROPERTY(QString AG2Format MEMBER AG2Format)
    Q_PROPERTY(QString AG3Format MEMBER AG3Format)
    Q_PROPERTY(double AG1Value MEMBER AG1Value)
    Q_PROPERTY(double AG2Value MEMBER AG2Value)
    Q_PROPERTY(double AG3Value MEMBER AG3Value)
    Q_PROPERTY(QString AGPIB1Expression MEMBER AGPIB1Expression)
    Q_PROPERTY(double AGPIB1Bound MEMBER AGPIB1Bound)
    Q_PROPERTY(double AGPIB1 MEMBER AGPIB1)
    Q_PROPERTY(QString AGPIB1S MEMBER AGPIB1S)
    Q_PROPERTY(int AGPIB1FormatA MEMBER AGPIB1FormatA)
    Q_PROPERTY(int AGPIB1FormatB MEMBER AGPIB1FormatB)
    Q_PROPERTY(QString AGGPIBCode MEMBER AGGPIBCode)
    Q_PROPERTY(QString AGGPIBEvaluated MEMBER AGGPIBEvaluated)
    Q_PROPERTY(double AG1Max MEMBER AG1Max)
    Q_PROPERTY(double AG2Max MEMBER AG2Max)
    Q_PROPERTY(double AG3Max MEMBER AG3Max)
    Q_PROPERTY(double AMTime MEMBER AMTime)
    Q_PROPERTY(QString AM1Expression MEMBER AM1Expression)
    Q_PROPERTY(float AM1Value MEMBER AM1Value)
    Q_PROPERTY(double AM1Max MEMBER AM1Max)
    Q_PROPERTY(int AM3B MEMBER AM3B)
    Q_PROPERTY(QString AUCOM MEMBER AUCOM)
    Q_PROPERTY(QString AUCOMExpression MEMBER AUCOMExpression)
    Q_PROPERTY(QString AUCOMNumberFormat MEMBER AUCOMNumberFormat)
    Q_PROPERTY(double AUCOMValue MEMBER AUCOMValue)
    Q_PROPERTY(QString AUCOMBinary MEMBER AUCOMBinary)
    Q_PROPERTY(bool P1ModePot MEMBER P1ModePot)
    Q_PROPERTY(double P1SetValue MEMBER P1SetValue)
    Q_PROPERTY(double P1SettlingTimeMS READ GetP1SettlingTimeMS WRITE SetP1SettlingTimeMS) // shares P1SetValue
    Q_PROPERTY(int DDEMeasured MEMBER DDEMeasured)
    Q_PROPERTY(int DDESetpoint MEMBER DDESetpoint)
    Q_PROPERTY(double FAM MEMBER FAM)
    Q_PROPERTY(double LAM MEMBER LAM)
    Q_PROPERTY(bool GPIBFreeRead MEMBER GPIBFreeRead)
    Q_PROPERTY(QString GPIBFreeExp MEMBER GPIBFreeExp)
    Q_PROPERTY(QString SegmentProgram MEMBER SegmentProgram)
    Q_PROPERTY(int SegmentLine MEMBER SegmentLine)
    Q_PROPERTY(int SegmentSPPrev MEMBER SegmentSPPrev)
    Q_PROPERTY(int SegmentRRPrev MEMBER SegmentRRPrev)

public:
    Q_INVOKABLE explicit TMeasurementNode(QObject* aOwner = nullptr);
    ~TMeasurementNode() override;

    // Published fields (names as stored in files).
    QString Caption;
    QString NodeType;
    QString Instrument;
    QString Switch;
    QString Connection;
    bool Active = false;
    QString Defaults;
    bool ConstantVoltage = true;
    bool ConstantCurrent = false;
    double ACVoltage = 0.1;
    double ACCurrent = 0.0001;
    double DCBias = 0;
    double DCBiasWait = 0;
    double Frequency = 10000;
    double MFIARR = 0.001;
    double SweepStartHz = 1000000;
    double SweepEndHz = 1;
    int SweepPoints = 50;
    double SweepStep = 0;
    bool SweepFinished = false;
    bool SampleCorrect = false;
    double SampleArea = 0;
    double SampeThickness = 0;
    double SampleDensity = 0;
    QString GPIBBeforePoint;
    QString GPIBDuring;
    QString GPIBAfterPoint;
    QString SwitchGPIBBeforePoint;
    QString SwitchGPIBAfterPoint;
    QString StartExpression = QStringLiteral("1");
    QString StopExpression = QStringLiteral("0");
    QString AUType;
    QString AURampProgram;
    double AFTime = 0;
    QString AF1Expression = QStringLiteral("0");
    QString AF2Expression = QStringLiteral("0");
    int AF1Value = 0;
    int AF2Value = 0;
    double AF3Value = 0;
    double AF1Max = 0;
    double AF2Max = 0;
    QString AG1Expression;
    QString AG2Expression;
    QString AG3Expression;
    QString AG1Format;
    QString AG2Format;
    QString AG3Format;
    double AG1Value = 0;
    double AG2Value = 0;
    double AG3Value = 0;
    QString AGPIB1Expression;
    double AGPIB1Bound = 0;
    double AGPIB1 = 0;
    QString AGPIB1S;
    int AGPIB1FormatA = 6;
    int AGPIB1FormatB = 2;
    QString AGGPIBCode;
    QString AGGPIBEvaluated;
    double AG1Max = 0;
    double AG2Max = 0;
    double AG3Max = 0;
    double AMTime = 0;
    QString AM1Expression;
    float AM1Value = 0;
    double AM1Max = 0;
    int AM3B = 0;
    QString AUCOM;
    QString AUCOMExpression;
    QString AUCOMNumberFormat;
    double AUCOMValue = 0;
    QString AUCOMBinary;
    bool P1ModePot = false;
    double P1SetValue = 0;
    int DDEMeasured = 0;
    int DDESetpoint = 0;
    double FAM = -1;
    double LAM = -1;
    bool GPIBFreeRead = false;
    QString GPIBFreeExp;
    QString SegmentProgram;
    int SegmentLine = -1;
    int SegmentSPPrev = -1;
    int SegmentRRPrev = -1;

    // Not persisted.
    TMeasurement* Measurement = nullptr;
    // In an engine copy: the node it was copied from (null once that node is gone).
    QPointer<TMeasurementNode> Origin;
    QString MeasurementCaption;
    QString MeasurementName;
    double ImpTimeout = 0;
    double MultiTimeout = 0;

    // Aliased properties.
    double GetAGTime() const { return AFTime; }
    void SetAGTime(double value) { AFTime = value; }
    double GetP1SettlingTimeMS() const { return P1SetValue; }
    void SetP1SettlingTimeMS(double value) { P1SetValue = value; }

    // The point list.
    int DataCount() const { return static_cast<int>(FData.size()); }
    void SetDataCount(int count);
    // The point at aIndex; beyond the list the caller's record comes back unchanged, and an
    // empty list gives four zeros for aIndex <= 0.
    TMeasurementResult GetData(int aIndex,
                               const TMeasurementResult& previous = TMeasurementResult{}) const;
    void SetData(int aIndex, const TMeasurementResult& aValue);
    void AddData(double aTime, double aValue1, double aValue2, double aValue3);
    void AddData(const TMeasurementResult& point) { FData.push_back(point); }
    void ClearData();
    void DataSize(int aNewSize);
    const std::vector<TMeasurementResult>& Points() const { return FData; }

    // The point list as text ("t/v1/v2/v3!..."), with the current decimal separator.
    QString DataString() const;
    // Replaces the list by the points of the text; throws EDataStringError and keeps the
    // list as it was when the text is malformed.
    void SetDataString(const QString& text);

    // The node's text for the measurement file.
    QString AsText() const;

    static QString DataFieldCaption(int aField, const QString& aNodeType, const QString& aAUType);
    double MaxVal(int aFieldID) const;
    double TS(int aIndex) const;
    double TM(int aIndex) const;
    double TH(int aIndex) const;
    double TD(int aIndex) const;
    double GetFAM() const;
    double GetLAM() const;
    void SetFAM(double value) { FAM = value; }
    TMeasurementImpResult Imp(int aIndex,
                              const TMeasurementImpResult& previous = TMeasurementImpResult{}) const;

private:
    double ElapsedDays(int aIndex) const;
    std::vector<TMeasurementResult> FData;
};
