#include "tavlo/zhinst.h"

#include "tavlo/log.h"
#include "tavlo/userinteraction.h"

#include <mutex>

namespace {

QString Hex8(int code) {
    return QString::number(static_cast<quint32>(code), 16).toUpper().rightJustified(8, u'0');
}

const QString KNotice = QStringLiteral("Message from API connect procedure. ");

std::mutex GObjectMutex;
std::unique_ptr<TZHInst> GObject;

} // namespace

TZHInst::TZHInst() : FAPI(std::make_unique<TziAPI>(false)) {}

TZHInst::~TZHInst() {
    if (FAPI->Connected())
        FAPI->Disconnect();
}

bool TZHInst::APIWorks() {
    FLastError.clear();
    try {
        const int result = FAPI->Initialized() ? 0 : FAPI->Init();
        if (result != 0)
            FLastError = FAPI->ResultText(result);
        return result == 0;
    } catch (const EZIAPIException& e) {
        FLastError = e.Message();
        LogLine(QStringLiteral("ZHInst: ") + FLastError);
        return false;
    }
}

QString TZHInst::APIVersion() { return FAPI->APIVersion(); }

bool TZHInst::Connect() {
    FLastError.clear();
    UserInteraction().ShowMessage(KNotice + QStringLiteral("Serial used is: ") + Serial +
                                  QStringLiteral("\r\nCorrect format is mf-devXXXX"));
    bool ok = false;
    const uint port = Port.trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        // Nothing would reach the data server: the library is not called.
        FLastError = QStringLiteral("The port is not a number from 1 to 65535: ") + Port;
        UserInteraction().ShowMessage(KNotice + QStringLiteral("Failed to connect. ") + FLastError);
        return false;
    }
    const auto connect = [&] {
        return FAPI->ConnectEx(Serial, static_cast<quint16>(port), QStringLiteral("ziAPI_Core"), 6);
    };
    if (connect() == 0) {
        const QStringList pieces = Serial.split(u'-');
        if (pieces.size() < 2 || pieces.at(1).isEmpty()) {
            // Every node path starts with the device name taken from the serial.
            FAPI->Disconnect();
            FLastError = QStringLiteral("The serial has no device name after \"-\": ") + Serial;
            UserInteraction().ShowMessage(KNotice + FLastError +
                                          QStringLiteral("\r\nCorrect format is mf-devXXXX"));
            return false;
        }
        DeviceID = u'/' + pieces.at(1);
        return true;
    }
    const int code = connect();
    if (code == 0)
        FAPI->Disconnect(); // the first refusal decides
    FLastError = FAPI->ResultText(code);
    UserInteraction().ShowMessage(KNotice +
                                  QStringLiteral("Failed to connect. Feedback code, write it down: "
                                                 "\r\nDec: ") +
                                  QString::number(code) + QStringLiteral("\r\nHex: ") + Hex8(code));
    return false;
}

void TZHInst::InitMFIA() {
    struct TSetting {
        const char* Path;
        bool IsDouble;
        double Value;
    };
    static constexpr TSetting KSettings[] = {
        {"/imps/0/confidence/suppression/enable", false, 0},
        {"/imps/0/confidence/compensation/enable", false, 0},
        {"/imps/0/confidence/lowdut2t/enable", false, 0},
        {"/imps/0/confidence/opendetect/enable", false, 0},
        {"/imps/0/confidence/underflow/enable", false, 0},
        {"/imps/0/confidence/overflow/enable", false, 0},
        {"/imps/0/confidence/freqlimit/enable", false, 0},
        {"/imps/0/confidence/qfactor/enable", false, 0},
        {"/imps/0/auto/inputrange", false, 1},
        {"/imps/0/auto/output", false, 0},
        {"/imps/0/voltage/range", true, 1.1},
        {"/imps/0/current/range", true, 0.1},
        {"/imps/0/bias/enable", false, 0},
        {"/imps/0/bias/value", true, 0.0},
        {"/imps/0/mode", false, 0},
        {"/imps/0/output/amplitude", false, 0},
        {"/imps/0/output/on", false, 0},
        {"/imps/0/enable", false, 0},
    };
    for (const TSetting& s : KSettings) {
        const QString path = DeviceID + QLatin1String(s.Path);
        if (s.IsDouble)
            FAPI->SetNodeValue(path, s.Value);
        else
            FAPI->SetNodeValue(path, static_cast<qint64>(s.Value));
    }
    const QString options = FAPI->GetNodeValue<QString>(DeviceID + QStringLiteral("/features/options"));
    if (options.contains(QLatin1String("F5M")))
        fMaxFrequency = OptionMaxFrequency;
}

TZHInst* MFIAObject() {
    std::lock_guard lock(GObjectMutex);
    return GObject.get();
}

void ReplaceMFIAObject(std::unique_ptr<TZHInst> object) {
    std::unique_ptr<TZHInst> previous;
    {
        std::lock_guard lock(GObjectMutex);
        previous = std::move(GObject);
        GObject = std::move(object);
    }
    // The old connection closes outside the lock.
}
