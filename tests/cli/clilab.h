#pragma once

#include <QDir>
#include <QFile>

#include <memory>

#include "tavlo/devicetree.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simmodbus.h"
#include "testutil.h"

// A data folder whose port map names ports of a laboratory served by the test process, and
// device setup files in its "Device Setups".
class TCliLab {
public:
    explicit TCliLab(const TTestFolder& dir) : FData(dir.Path("data")) {}
    ~TCliLab() { Lab.Stop(); }
    // A port with nothing that answers on it.
    bool ServeQuietPort(const QString& name) {
        return !Lab.AddSerialDevice(name, std::make_shared<TSimModbusBus>()).isEmpty();
    }
    bool Start() {
        Lab.Start();
        return Lab.WritePortMap(FData);
    }
    QString Data() const { return FData; }
    // Writes a setup file; returns the ID of its tree.
    QString WriteSetup(const QString& name, const QString& setupText) const {
        QDir().mkpath(FData + "/Device Setups");
        QFile file(SetupPath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(setupText.toLatin1()) < 0)
            return {};
        file.close();
        TDeviceTree tree;
        return tree.LoadFromFile(SetupPath(name)) ? tree.DeviceSetupID() : QString();
    }
    QString SetupPath(const QString& name) const { return FData + "/Device Setups/" + name; }

    TSimLab Lab;

private:
    QString FData;
};
