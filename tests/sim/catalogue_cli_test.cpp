#include <gtest/gtest.h>

#include "tavlo/catalogue.h"
#include "tavlosim/cataloguelab.h"
#include "tavlosim/simkeithley2000.h"
#include "testutil.h"

#include <QProcess>

namespace {
// Asks the instrument at an address of the simulated catalogue laboratory for "*IDN?" with
// tavlo-cli gpib and returns the role the catalogue gives the answer.
class CatalogueCli : public ::testing::Test {
protected:
    CatalogueCli() {
        Adapter = std::make_shared<TSimPrologix>();
        Adapter->Plug(4, std::make_shared<TSimKeithley2000>());
        AddCatalogueInstruments(Lab, *Adapter, Devices, QString());
        Lab.AddSerialDevice(QStringLiteral("COM33"), Adapter);
        Lab.WritePortMap(Folder.Path());
        Lab.Start();
    }
    ~CatalogueCli() override { Lab.Stop(); }

    QString RoleAt(int address, int* code = nullptr) {
        QProcess p;
        p.start(QStringLiteral(TAVLO_CLI_PATH),
                {"gpib", "--port", "COM33", "--addr", QString::number(address), "--data-folder",
                 Folder.Path(), "*IDN?"});
        if (!p.waitForFinished(20000))
            return QStringLiteral("(tavlo-cli did not finish)");
        if (code)
            *code = p.exitCode();
        for (const QString& line : QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n'))
            if (line.startsWith(QStringLiteral("Response :")))
                return IdentifyRole(line.mid(10));
        return QStringLiteral("(no response line)");
    }
    void Check(const std::vector<std::pair<int, const char*>>& expected) {
        for (const auto& [address, role] : expected) {
            int code = -1;
            EXPECT_EQ(RoleAt(address, &code), QString::fromLatin1(role)) << "address " << address;
            EXPECT_EQ(code, 0) << "address " << address;
        }
    }

    TTestFolder Folder;
    TSimLab Lab;
    std::shared_ptr<TSimPrologix> Adapter;
    TCatalogueLab Devices;
};
} // namespace

TEST_F(CatalogueCli, IdentifiesTheMetersAndSources) {
    Check({{4, "Multimeter K2000"},
           {2, "Multimeter K2000-20-5"},
           {3, "Multimeter K2000-30-5"},
           {5, "Multimeter PowersupplyE3642A"},
           {7, "Multimeter 34420A"},
           {9, "Multimeter 34970A"},
           {12, "Multimeter HP3458A"},
           {14, "Multimeter K6430(MeasureOnly)"}});
}

TEST_F(CatalogueCli, IdentifiesTheElectrometersAndAnalysers) {
    Check({{15, "Multimeter K6514(Electrometer)"},
           {16, "Multimeter K6500"},
           {17, "Multimeter HP4339B"},
           {22, "Multimeter 34401A"},
           {23, "Multimeter KSB2985B(Electrometer)"},
           {24, "Multimeter K2400"},
           {1, "Imp.Spectrometer Hioki_3522-50"},
           {6, "Imp.Spectrometer Solartron1260"},
           {8, "Imp.Spectrometer NovocontrolAlphaAT"}});
}

// The HP 4192A and the Solartron 1287 predate "*IDN?": they stay silent, and their model
// keys come only from a device line the user writes.
TEST_F(CatalogueCli, OlderInstrumentsDoNotAnswerIdentification) {
    for (int address : {11, 13}) {
        int code = 0;
        EXPECT_EQ(RoleAt(address, &code), QStringLiteral("U-role ")) << address;
        EXPECT_EQ(code, 1) << address;
    }
}
