#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

#include "tavlo/componentlist.h"
#include "tavlo/devicetree.h"

class TMeasurement;
class TMeasurementNode;
class TMeasuringEngine;

// The open measurements and the engine cycle: what the main window owns and shows, and what
// the headless runner owns. Main thread only.
class TTavloSession : public QObject {
    Q_OBJECT
public:
    explicit TTavloSession(QObject* parent = nullptr);
    // Waits for a running engine (the event loop keeps running meanwhile), then frees all.
    ~TTavloSession() override;

    TComponentObjectList* MeasurementsList; // "MCOL", list type "TMeasurement"
    TMeasuringEngine* CurrentEngine() const { return FEngine.get(); }

    // The loaded device setup and whether its devices are validated.
    QString DeviceSetupID() const { return FDeviceSetupID; }
    void SetDeviceSetupID(const QString& id) { FDeviceSetupID = id; }
    bool DevicesValidated() const { return FDevicesValidated; }
    void SetDevicesValidated(bool validated) { FDevicesValidated = validated; }

    // The laboratory's devices and the messages about them (Devices page).
    TDeviceTree DeviceTree;
    const QStringList& DeviceMemo() const { return FDeviceMemo; }
    void AddDeviceMemo(const QString& line);
    void ClearDeviceMemo();
    // Loads a device setup file; its identity becomes the setup ID and the devices are not
    // validated. False (with the reason in the memo) when the file cannot be read.
    bool LoadDeviceSetup(const QString& path);
    // The data folder's "Device Setups/default.tdq", when it exists.
    bool LoadDefaultDeviceSetup();
    // Writes the device tree as a setup file; false (with the reason in the memo) on failure.
    bool SaveDeviceSetup(const QString& path);

    // Device discovery and validation; main thread, they wait for a run in progress and
    // block until done. The search asks for the last GPIB address to scan unless
    // lastAddress (0 .. 30) is given; false when it ended before scanning (no answer, an
    // answer out of range, no COM ports).
    bool SearchDevices(int lastAddress = -1);
    // True when every port, adapter and instrument of the tree answered; the devices are
    // then validated. The tree is never changed.
    bool ValidateDevices();
    // The initialisation of every instrument of the tree (after a search or validation).
    void InitializeGPIBDevices();

    // The run log (Run info page).
    const QStringList& RunLog() const { return FRunLog; }
    void AppendRunLog(const QString& line);
    void ClearRunLog();
    // Status panel 0.
    void SetStatusText(const QString& text);

    double LastAutosave = 0;
    qint64 TickCounter = 0;
    // Completed engine runs since the session started.
    int CompletedRuns = 0;

    // The 100 ms timer that calls EngineTick.
    void StartTimer() { FTimer.start(); }
    void StopTimer() { FTimer.stop(); }
    bool TimerActive() const { return FTimer.isActive(); }

    void EngineTick();
    // Autosave of all open measurements, then Save all.
    void AutosaveAll();
    // Saves every measurement to its own location and lists them in MeasurementsOpen.txt.
    void SaveAll();

    // Adds a measurement (the session owns it).
    void AddMeasurement(TMeasurement* measurement);
    // Closes (frees) a measurement; safe while a run is in progress.
    void CloseMeasurement(TMeasurement* measurement);
    TMeasurement* FindOpenMeasurement(const QString& componentName) const;
    bool IsOpen(const TMeasurement* measurement) const;

    // Waits, keeping the event loop running, until no engine run exists.
    void WaitForEngine();

    // What the status text names as instrument of a node copy.
    virtual QString InstrumentIDString(const TMeasurementNode& node) const;

    // Main-thread steps requested by the engine.
    void ReturnResults(TMeasuringEngine& engine);
    void ReturnSweepPoint(TMeasuringEngine& engine);

signals:
    void DeviceMemoAppended(const QString& line);
    void DeviceMemoCleared();
    void RunLogAppended(const QString& line);
    void RunLogCleared();
    void RunFinished(int completedRuns);

private:
    bool PrepareNode(TMeasurement& m, TMeasurementNode& node, TMeasuringEngine& engine);
    bool ValidateApiAndLan();
    bool ValidateSerialPorts();
    bool ValidateAdapters();
    bool ValidateThirdLevel();
    bool ValidateControllers();
    bool ValidateWachendorfs();
    void WriteMeasurementsOpen(const QStringList& locations);

    std::unique_ptr<TMeasuringEngine> FEngine;
    QString FDeviceSetupID;
    bool FDevicesValidated = false;
    QStringList FRunLog;
    QStringList FDeviceMemo;
    QTimer FTimer;
};
