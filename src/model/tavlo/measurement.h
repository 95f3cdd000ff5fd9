#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "tavlo/componentlist.h"

class TMeasurementNode;
class TRtPointSeries;
class TRtLinearRegression;

// Progress of a long load: label 1 or 2 of the loading window and its text.
using TLoadProgress = std::function<void(int label, const QString& text)>;

// The unit the user opens, runs and saves: a named list of nodes and the graphs over them.
class TMeasurement : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Active MEMBER Active)
    Q_PROPERTY(QString DeviceSetup READ DeviceSetup WRITE SetDeviceSetup)
    Q_PROPERTY(QString GraphsListName MEMBER GraphsListName)
    Q_PROPERTY(int NodeIDCounter MEMBER NodeIDCounter)
    Q_PROPERTY(int SerieIDCounter MEMBER SerieIDCounter)
    Q_PROPERTY(double FrequencyLimit MEMBER FrequencyLimit)
    Q_PROPERTY(double ImpTimeout MEMBER ImpTimeout)
    Q_PROPERTY(double MultiTimeout MEMBER MultiTimeout)
    Q_PROPERTY(double LastMeasured MEMBER LastMeasured)
    Q_PROPERTY(int AmountOfData MEMBER AmountOfData)
    Q_PROPERTY(QString NodesAsString MEMBER NodesAsString)
    Q_PROPERTY(QString GraphsAsString MEMBER GraphsAsString)
    Q_PROPERTY(QString StartCondition READ StartCondition WRITE SetStartCondition)
    Q_PROPERTY(QString StopCondition READ StopCondition WRITE SetStopCondition)
    Q_PROPERTY(double SampleArea MEMBER SampleArea)
    Q_PROPERTY(double SampleThickness MEMBER SampleThickness)
    Q_PROPERTY(double SampleDensity MEMBER SampleDensity)
    Q_PROPERTY(int SaveCount MEMBER SaveCount)
    Q_PROPERTY(bool Template MEMBER Template)

public:
    Q_INVOKABLE explicit TMeasurement(QObject* aOwner = nullptr);
    ~TMeasurement() override;

    // "ansi" texts: held in the 8-bit code page.
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    QString DeviceSetup() const { return FDeviceSetup; }
    void SetDeviceSetup(const QString& value);
    QString StartCondition() const { return FStartCondition; }
    void SetStartCondition(const QString& value);
    QString StopCondition() const { return FStopCondition; }
    void SetStopCondition(const QString& value);

    bool Active = false;
    QString GraphsListName;
    int NodeIDCounter = 0;
    int SerieIDCounter = 0;
    double FrequencyLimit = 0;
    double ImpTimeout = 15;
    double MultiTimeout = 15;
    double LastMeasured = 0;
    int AmountOfData = 0;
    QString NodesAsString;
    QString GraphsAsString;
    double SampleArea = 0;
    double SampleThickness = 0;
    double SampleDensity = 0;
    int SaveCount = 0;
    bool Template = false;

    // Not persisted.
    TComponentObjectList* Nodes;
    TComponentObjectList* Graphs;
    QString FileLocation;
    bool UnfitNoticeGiven = false;
    // Node reading stopped at a node that could not be read; the nodes after it are missing.
    bool NodesIncomplete = false;

    void Initialize();
    int NodeCount() const { return Nodes->Count(); }
    TMeasurementNode* Node(int aIndex) const;
    TMeasurementNode* NodeInOrder(int aIndex) const;
    // Adds a node owned by the measurement.
    void AddNode(TMeasurementNode* node);

    // Writes the file; false (after the message) when it could not be written.
    bool Save(const QString& aPath);
    // The nodes in their file form, joined with '*'.
    QString MakeNodesAsString() const;
    void MakeGraphsAsString();
    void RetrieveNodesFromDataString(const TLoadProgress& progress = {});
    void RetrieveGraphsFromDataString(const TLoadProgress& progress = {});

    int MaxIndexNonIS() const;
    int MaxIndexAll() const;
    double StartTime() const;
    bool LateEnoughToMeasure() const;
    bool EvaluateMeasurementValidity(const QString& DID, bool ValidDevices) const;
    void EqualizeDataCountInNodes();

    // The node with that name (case-insensitive), or null.
    TMeasurementNode* FindNode(const QString& name) const;
    // The point series of the graphs whose ExpressionVariable is variable, or null.
    TRtPointSeries* FindSerie(const QString& variable) const;
    // The test "LAST(kind,node,field,minutes,threshold)": whether the field of every point of
    // the node's last minutes is >= (GT) or <= (LT) the threshold. Res is " 1 " or " 0 ".
    bool LAST(const QString& Match, QString& Res) const;

    // Series from node data.
    void UpdateSeries();
    void UpdateSeriesSweeps();
    bool ValidateExpression(TRtPointSeries& series, int aIndex, const QString& expression);
    bool AddPointToSeries(TRtPointSeries& series, int aIndex, const QString& YExpression,
                          const QString& XExpression);
    void UpdateRegression(TRtLinearRegression* regression, TRtPointSeries& series);
    // Refills one series from index 0; false (after the message) when its expressions fail.
    bool RebuildSeries(TRtPointSeries& series);

private:
    QString FCaption;
    QString FDeviceSetup;
    QString FStartCondition;
    QString FStopCondition;
};

// Replaces the escapes of a node text in the measurement file.
QString RestoreNodeText(QString text);
// Registers the model's classes for reading component text (idempotent).
void RegisterModelClasses();
