#include "tavlosim/examples.h"

#include "tavlosim/modbuslab.h"
#include "tavlosim/standardlab.h"

#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <memory>

namespace {

// GPIB addresses of the catalogue instruments the examples use (see cataloguelab.cpp).
constexpr int HiokiAddress = 1;
constexpr int SupplyAddress = 5;

QString Gpib(const char* kind, const char* model, int address) {
    return QStringLiteral("%1 %2 %3 ADDR:%4 EOS:0 GPIB")
        .arg(QLatin1String(kind), QLatin1String(model),
             QLatin1String(TStandardLab::AdapterPort))
        .arg(address);
}

std::unique_ptr<TMeasurement> NewMeasurement(const QString& caption, const QString& setupId) {
    auto m = std::make_unique<TMeasurement>();
    m->SetCaption(caption);
    m->SetDeviceSetup(setupId);
    m->Active = true;
    return m;
}

// Nodes run in the order of their captions, so captions start with their position.
TMeasurementNode* AddNode(TMeasurement& m, const QString& caption, const QString& type) {
    auto* node = new TMeasurementNode;
    node->setObjectName(QStringLiteral("N%1").arg(++m.NodeIDCounter));
    node->Caption = caption;
    node->NodeType = type;
    node->Active = true;
    m.AddNode(node);
    return node;
}

std::unique_ptr<TMeasurement> FourWireFurnace(const QString& setupId) {
    auto m = NewMeasurement(QStringLiteral("Four-wire resistance vs. furnace temperature"), setupId);
    m->MultiTimeout = 5;
    TMeasurementNode* furnace = AddNode(*m, QStringLiteral("1 Furnace"), QStringLiteral("ET"));
    furnace->Instrument =
        QStringLiteral("Eurotherm 3208 %1 ADDR:1").arg(QLatin1String(TModbusLab::FurnacePort));
    // Time (minutes after the first execution), setpoint, ramp rate per minute. The first
    // line holds room temperature and sets the ramp rate, so that the second ramps to 300;
    // after ten minutes on to 450, after twenty back to room temperature.
    furnace->SegmentProgram = QStringLiteral("0 25 60\r\n0 300 60\r\n10 450 60\r\n20 25 60");
    TMeasurementNode* sample = AddNode(*m, QStringLiteral("2 Sample resistance"), QStringLiteral("M4"));
    sample->Instrument = Gpib("Multimeter", "K2000", TStandardLab::KeithleyAddress);
    sample->GPIBBeforePoint = QStringLiteral("*CLS\r\nFUNC 'FRES'\r\n:MEAS?");
    return m;
}

std::unique_ptr<TMeasurement> ImpedanceSweep(const QString& setupId) {
    auto m = NewMeasurement(QStringLiteral("Impedance sweep"), setupId);
    m->ImpTimeout = 10;
    const QString hioki = Gpib("Imp.Spectrometer", "Hioki_3522-50", HiokiAddress);
    const QString setup = QStringLiteral(":HEAD OFF\r\n:PAR3 RS;:PAR4 X\r\n:RANG:AUTO ON");
    TMeasurementNode* sweep = AddNode(*m, QStringLiteral("1 Sweep"), QStringLiteral("IS"));
    sweep->Instrument = hioki;
    sweep->GPIBBeforePoint = setup;
    sweep->ACVoltage = 0.1;
    // Seven points from 100 kHz down to 10 Hz, evenly spaced on a logarithmic scale.
    sweep->SweepStartHz = 100000;
    sweep->SweepEndHz = 10;
    sweep->SweepPoints = 7;
    sweep->SweepStep = std::pow(sweep->SweepEndHz / sweep->SweepStartHz, 1.0 / (sweep->SweepPoints - 1));
    // One reading at 1 kHz every run, also once the sweep has finished.
    TMeasurementNode* single = AddNode(*m, QStringLiteral("2 At 1 kHz"), QStringLiteral("IC"));
    single->Instrument = hioki;
    single->GPIBBeforePoint = setup;
    single->ACVoltage = 0.1;
    single->Frequency = 1000;
    return m;
}

std::unique_ptr<TMeasurement> FlowRamp(const QString& setupId) {
    auto m = NewMeasurement(QStringLiteral("Flow ramp with GPIB action"), setupId);
    m->MultiTimeout = 5;
    const QString gsc = QStringLiteral("MassFlowController GSC %1 ADDR:1")
                            .arg(QLatin1String(TModbusLab::FlowPort));
    // The setpoint rises by 0.5 ln/min per run up to 4 ln/min.
    TMeasurementNode* setpoint = AddNode(*m, QStringLiteral("1 Flow setpoint"), QStringLiteral("AU"));
    setpoint->AUType = QStringLiteral("Flow");
    setpoint->Instrument = gsc;
    setpoint->AM1Expression = QStringLiteral("0.5+0.5*$I");
    setpoint->AM1Max = 4;
    TMeasurementNode* flow = AddNode(*m, QStringLiteral("2 Flow"), QStringLiteral("FL"));
    flow->Instrument = gsc;
    // The supply's voltage follows the same ramp (1 V per ln/min), e.g. for a humidifier.
    TMeasurementNode* supply = AddNode(*m, QStringLiteral("3 Supply voltage"), QStringLiteral("AU"));
    supply->AUType = QStringLiteral("GPIB");
    supply->Instrument = Gpib("Multimeter", "PowersupplyE3642A", SupplyAddress);
    supply->AG1Expression = QStringLiteral("0.5+0.5*$I");
    supply->AG1Max = 4;
    supply->AG1Format = QStringLiteral("0.000");
    supply->AGGPIBCode = QStringLiteral("SOUR:VOLT $AG1\r\nOUTP ON");
    return m;
}

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

QStringList ExampleMeasurementPaths(const QString& dataFolder) {
    const QString folder = QDir(dataFolder).filePath(QLatin1String(TExampleFiles::Folder));
    QStringList paths;
    for (const char* name :
         {TExampleFiles::FourWireFurnace, TExampleFiles::ImpedanceSweep, TExampleFiles::FlowRamp})
        paths << QDir(folder).filePath(QLatin1String(name));
    return paths;
}

bool WriteExampleMeasurements(const QString& dataFolder, const QString& setupId, QString* error) {
    const QString folder = QDir(dataFolder).filePath(QLatin1String(TExampleFiles::Folder));
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return Fail(error, QStringLiteral("cannot create the examples folder ") + folder);
    const QStringList paths = ExampleMeasurementPaths(dataFolder);
    std::unique_ptr<TMeasurement> examples[] = {FourWireFurnace(setupId), ImpedanceSweep(setupId),
                                                FlowRamp(setupId)};
    for (int i = 0; i < 3; ++i)
        if (!examples[i]->Save(paths[i]))
            return Fail(error, QStringLiteral("cannot write the example measurement ") + paths[i]);
    return true;
}
