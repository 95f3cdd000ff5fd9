#include <gtest/gtest.h>

#include <QFile>

#include "clilab.h"
#include "tavlo/devicetree.h"
#include "tavlosim/simkeithley2000.h"
#include "testutil.h"

namespace {
QString Cli() { return QStringLiteral(TAVLO_CLI); }
} // namespace

TEST(CliDevices, IdOfASetupFile) {
    TTestFolder dir;
    TCliLab lab(dir);
    // The same texts in the same order give the same ID, whatever the indentation.
    const QString id = lab.WriteSetup("a.tdq", "COM5\r\n\tEurotherm 3208 COM5 ADDR:1\r\n");
    const QString flat = lab.WriteSetup("b.tdq", "COM5\r\nEurotherm 3208 COM5 ADDR:1\r\n");
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(flat, id);
    EXPECT_EQ(id, QString::number(ElfHash("COM5Eurotherm 3208 COM5 ADDR:1")));
    for (const char* name : {"a.tdq", "b.tdq"}) {
        const TProcessRun r = RunProcess(Cli(), {"devices", "id", lab.SetupPath(name)});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(r.Out), id + "\n");
    }
    const TProcessRun missing = RunProcess(Cli(), {"devices", "id", lab.SetupPath("none.tdq")});
    EXPECT_EQ(missing.Code, 1);
    EXPECT_TRUE(missing.Err.contains("could not be loaded")) << missing.Err.toStdString();
    // A line that skips a level is refused.
    const QString bad = lab.WriteSetup("bad.tdq", "COM5\r\n\t\tEurotherm 3208 COM5 ADDR:1\r\n");
    EXPECT_TRUE(bad.isEmpty());
    const TProcessRun skipped = RunProcess(Cli(), {"devices", "validate", lab.SetupPath("bad.tdq")});
    EXPECT_EQ(skipped.Code, 1);
    EXPECT_TRUE(skipped.Err.contains("could not be loaded"));
}

TEST(CliDevices, SearchSavesASetupThatValidates) {
    TTestFolder dir;
    TCliLab lab(dir);
    auto adapter = std::make_shared<TSimPrologix>();
    adapter->Plug(1, std::make_shared<TSimKeithley2000>());
    ASSERT_FALSE(lab.Lab.AddSerialDevice("COM33", adapter).isEmpty());
    ASSERT_TRUE(lab.Start());

    const QString saved = lab.SetupPath("found.tdq");
    const TProcessRun search =
        RunProcess(Cli(), {"devices", "search", "--last-address", "1", "--data-folder", lab.Data(),
                           "--save", saved},
                   120000);
    const QString out = QString::fromLocal8Bit(search.Out);
    ASSERT_EQ(search.Code, 0) << out.toStdString() << search.Err.toStdString();
    EXPECT_TRUE(out.contains("Scanning port COM33 for GPIB devices, addresses 0..1\n"));
    EXPECT_TRUE(out.contains("  Serial poll 0 does not respond\n"));
    TDeviceTree tree;
    ASSERT_TRUE(tree.LoadFromFile(saved));
    EXPECT_TRUE(out.contains("Device setup ID:" + tree.DeviceSetupID() + "\n"));
    EXPECT_TRUE(out.contains("Saved the device setup to " + saved));
    EXPECT_TRUE(tree.ToSetupText().contains(
        "COM33\r\n\tPrologix USB-GPIB device\r\n\t\tMultimeter K2000 COM33 ADDR:1 EOS:0 GPIB IDN?:" +
        QLatin1String(TSimKeithley2000::Identification) + "\r\n"));

    // The laboratory's part of it validates (the machine's own ports may be in use by others).
    const QList<int> roots = tree.Children(-1);
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        if (tree.Node(*it).Text != "COM33")
            tree.Remove(*it);
    const QString ours = lab.SetupPath("ours.tdq");
    ASSERT_TRUE(tree.SaveToFile(ours));
    const TProcessRun validate =
        RunProcess(Cli(), {"devices", "validate", ours, "--data-folder", lab.Data()}, 120000);
    const QString log = QString::fromLocal8Bit(validate.Out);
    EXPECT_EQ(validate.Code, 0) << log.toStdString();
    EXPECT_TRUE(log.startsWith("Device setup ID:" + tree.DeviceSetupID() + "\n"));
    EXPECT_TRUE(log.contains("      Working Prologix USB-GPIB adapter found\n"));
    EXPECT_TRUE(log.endsWith("Validation finished.\nDevices are validated\n")) << log.toStdString();

    // The adapter goes away: the same setup no longer validates.
    lab.Lab.RemovePort("COM33");
    const TProcessRun gone =
        RunProcess(Cli(), {"devices", "validate", ours, "--data-folder", lab.Data()}, 120000);
    EXPECT_EQ(gone.Code, 1);
    EXPECT_TRUE(gone.Out.contains("    The port COM33 does not exist - Validation failed\n"));
    EXPECT_TRUE(gone.Out.endsWith("Devices are not validated\n"));
}

TEST(CliDevices, SearchNeedsTheLastAddress) {
    TTestFolder dir;
    // Not interactive: nobody answers the range question, nothing is searched.
    const TProcessRun asked = RunProcess(Cli(), {"devices", "search", "--data-folder", dir.Path()});
    EXPECT_EQ(asked.Code, 1);
    EXPECT_TRUE(asked.Err.contains("--last-address N")) << asked.Err.toStdString();
    EXPECT_TRUE(asked.Out.contains("GPIB range: Provide the last GPIB address to scan (1-30)") ||
                asked.Err.contains("GPIB range: Provide the last GPIB address to scan (1-30)"));
    EXPECT_FALSE(asked.Out.contains("Scanning"));
    for (const QStringList& args :
         {QStringList{"devices"}, QStringList{"devices", "search", "--last-address", "31"},
          QStringList{"devices", "search", "--last-address", "x"}, QStringList{"devices", "id"},
          QStringList{"devices", "validate"}, QStringList{"devices", "probe"}}) {
        const TProcessRun r = RunProcess(Cli(), args);
        EXPECT_EQ(r.Code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains("usage: tavlo-cli devices search"));
    }
}
