// Outside texts of the instrument catalogue: device lines, "*IDN?" answers, serial-poll
// replies, command lists and instrument readings of every model.
#include "tavlo/catalogue.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/measurementnode.h"
#include "tavlo/readings.h"

#include <QLoggingCategory>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        return true;
    }();
    (void)quiet;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    TDevice device = TDevice::FromLine(text);
    // A parse error of a GPIB or Modbus line clears every text.
    if (device.Address == -1 && device.EOS == -1 && device.InterfaceType != ditAPIZ &&
        !text.contains(QLatin1String("-1")) &&
        (!device.Role.isEmpty() || !device.IDString.isEmpty() || !device.Port.isEmpty()))
        std::abort();
    const TDevice sw = ParseSwitchLine(text);
    if (sw.Role.isEmpty() && !text.isEmpty() && sw.Address != -1)
        std::abort();
    for (const QString& token : DeviceLineTokens(text))
        if (token.isEmpty() && !text.contains(u'"'))
            std::abort();

    const QString role = IdentifyRole(text);
    if (!role.contains(u' '))
        std::abort();
    for (const QString& key : KnownModelKeys()) {
        IsResultReady(key, text);
        device.IDString = key;
        for (int kind = 1; kind <= 3; ++kind)
            DefaultCommands(device, QStringLiteral("M2"), kind);
    }

    for (const QString& line : text.split(u'\n')) {
        const TCommandLine parsed = ParseCommandLine(line);
        if (parsed.Command.contains(QLatin1String("//")) || parsed.SleepMs < -1)
            std::abort();
    }

    // The first line is a GF pattern, the rest the reply.
    TMeasurementNode node;
    const qsizetype lf = text.indexOf(u'\n');
    node.GPIBFreeExp = lf < 0 ? QStringLiteral("[-+0-9.E]+") : text.left(lf);
    node.AGPIB1 = 1.5;
    const QString reply = lf < 0 ? text : text.mid(lf + 1);
    static const char* const types[] = {"M2", "MV", "MC", "GF"};
    static const char* const models[] = {
        "K2000", "K2400", "K6500", "K6514(Electrometer)", "K6430(MeasureOnly)", "34401A",
        "HP4339B", "KSB2985B(Electrometer)"};
    for (const char* type : types) {
        node.NodeType = QLatin1String(type);
        for (const char* model : models) {
            TReadingValues values;
            ParseReading(node, QLatin1String(model), reply, values);
        }
    }
    static const char* const analysers[] = {"Hioki_3522-50", "Solartron1260", "Solartron1287",
                                            "HP4192A", "NovocontrolAlphaAT"};
    for (const char* key : analysers) {
        double r = 0, x = 0, f = 0;
        ParseImpedanceReply(QLatin1String(key), reply, 1000, r, x, f);
    }
    return 0;
}
