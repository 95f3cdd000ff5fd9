// Component text reader and data string assignment on arbitrary input: either the value or a
// read error, never a crash; what reads must write and read back to the same text.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QLoggingCategory>

#include "tavlo/ansi.h"
#include "tavlo/componenttext.h"
#include "tavlo/datastring.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"

namespace {
class TSilent : public IUserInteraction {
public:
    void ShowMessage(const QString&) override {}
    bool AskYesNo(const QString&) override { return false; }
    void SetStatusText(int, const QString&) override {}
    QString StatusText(int) const override { return {}; }
    void SetBusy(bool) override {}
};

void Check(bool condition) {
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSilent silent;
    static const bool init = [] {
        SetUserInteraction(&silent);
        QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
        RegisterModelClasses();
        return true;
    }();
    (void)init;
    const QString text =
        FromWindows1252(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    // Component text.
    try {
        std::unique_ptr<QObject> obj = TextToComponent(text);
        const QString written = ComponentToText(obj.get());
        std::unique_ptr<QObject> again = TextToComponent(written);
        Check(ComponentToText(again.get()) == written);
        if (auto* m = qobject_cast<TMeasurement*>(obj.get())) {
            m->RetrieveNodesFromDataString();
            m->MakeNodesAsString();
        }
    } catch (const EReadError&) {
    }

    // Data string: a failure keeps the list as it was.
    TMeasurementNode node;
    node.AddData(1, 2, 3, 4);
    try {
        node.SetDataString(text);
        TMeasurementNode back;
        back.SetDataString(node.DataString());
        Check(back.DataCount() == node.DataCount());
    } catch (const EDataStringError&) {
        Check(node.DataCount() == 1 && node.GetData(0).Value3 == 4);
    }
    return 0;
}
