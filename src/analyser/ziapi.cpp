#include "tavlo/ziapi.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::array<const char*, TZIUtilities::EntryCount> KEntryNames = {
    "ziAPIInit", "ziAPIDestroy", "ziAPIConnect", "ziAPIDisconnect", "ziAPIConnectEx",
    "ziAPIListNodes", "ziAPIListNodesJSON", "ziAPIAllocateEventEx", "ziAPIDeallocateEventEx",
    "ziAPIGetError", "ziAPIListImplementations", "ziAPIGetConnectionAPILevel", "ziAPIGetVersion",
    "ziAPIGetRevision", "ziAPIUpdateDevices", "ziAPIConnectDevice", "ziAPIDisconnectDevice",
    "ziAPIGetValueD", "ziAPIGetComplexData", "ziAPIGetValueI", "ziAPIGetDemodSample",
    "ziAPIGetDIOSample", "ziAPIGetAuxInSample", "ziAPIGetValueB", "ziAPIGetValueString",
    "ziAPIGetValueStringUnicode", "ziAPISetValueD", "ziAPISetComplexData", "ziAPISetValueI",
    "ziAPISetValueB", "ziAPISetValueString", "ziAPISetValueStringUnicode", "ziAPISyncSetValueD",
    "ziAPISyncSetValueI", "ziAPISyncSetValueB", "ziAPISyncSetValueString",
    "ziAPISyncSetValueStringUnicode", "ziAPISync", "ziAPIEchoDevice", "ziAPISubscribe",
    "ziAPIUnSubscribe", "ziAPIPollDataEx", "ziAPIGetValueAsPollData", "ziAPIGetLastError",
    "ziAPISetDebugLevel", "ziAPIWriteDebugLog", "ReadMEMFile", "ziAPIModCreate",
    "ziAPIModSetDoubleData", "ziAPIModSetIntegerData", "ziAPIModSetByteArray", "ziAPIModSetString",
    "ziAPIModSetStringUnicode", "ziAPIModSetVector", "ziAPIModGetInteger", "ziAPIModGetDouble",
    "ziAPIModGetString", "ziAPIModGetStringUnicode", "ziAPIModGetVector", "ziAPIModListNodes",
    "ziAPIModListNodesJSON", "ziAPIModSubscribe", "ziAPIModUnSubscribe", "ziAPIModExecute",
    "ziAPIModTrigger", "ziAPIModProgress", "ziAPIModFinished", "ziAPIModFinish", "ziAPIModSave",
    "ziAPIModRead", "ziAPIModNextNode", "ziAPIModGetChunk", "ziAPIModEventDeallocate",
    "ziAPIModClear", "ziAPISetVector", "ziAPIDiscoveryFindAll", "ziAPIDiscoveryFind",
    "ziAPIDiscoveryGet", "ziAPIDiscoveryGetValueI", "ziAPIDiscoveryGetValueS",
};

constexpr bool NameAt(int index, std::string_view name) { return KEntryNames[index] == name; }
static_assert(NameAt(zeInit, "ziAPIInit") && NameAt(zeDestroy, "ziAPIDestroy") &&
              NameAt(zeConnect, "ziAPIConnect") && NameAt(zeDisconnect, "ziAPIDisconnect") &&
              NameAt(zeConnectEx, "ziAPIConnectEx") &&
              NameAt(zeAllocateEventEx, "ziAPIAllocateEventEx") &&
              NameAt(zeDeallocateEventEx, "ziAPIDeallocateEventEx") &&
              NameAt(zeGetError, "ziAPIGetError") && NameAt(zeGetVersion, "ziAPIGetVersion") &&
              NameAt(zeGetValueD, "ziAPIGetValueD") && NameAt(zeGetValueI, "ziAPIGetValueI") &&
              NameAt(zeGetValueString, "ziAPIGetValueString") &&
              NameAt(zeGetValueStringUnicode, "ziAPIGetValueStringUnicode") &&
              NameAt(zeSetValueD, "ziAPISetValueD") && NameAt(zeSetValueI, "ziAPISetValueI") &&
              NameAt(zeSetValueString, "ziAPISetValueString") &&
              NameAt(zeSetValueStringUnicode, "ziAPISetValueStringUnicode") &&
              NameAt(zeSubscribe, "ziAPISubscribe") && NameAt(zeUnSubscribe, "ziAPIUnSubscribe") &&
              NameAt(zePollDataEx, "ziAPIPollDataEx") &&
              NameAt(zeGetValueAsPollData, "ziAPIGetValueAsPollData"));

const QString KLibraryFile = QStringLiteral("libziAPI-linux64.so");
const QString KUtilityName = QStringLiteral("Utility/") + KLibraryFile;

struct TLibraryState {
    void* Module = nullptr;
    bool Loaded = false;
    int Loads = 0;
    int Resolved = 0;
    QString Missing;
    QString Error;
    QString Path; // empty: the default
    std::array<void*, TZIUtilities::EntryCount> Entries{};
};

TLibraryState& State() {
    static TLibraryState state;
    return state;
}

QString ProgramDir() {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return QStringLiteral(".");
    const QString exe = QString::fromLocal8Bit(buffer.data(), n);
    const qsizetype slash = exe.lastIndexOf(u'/');
    return slash > 0 ? exe.left(slash) : QStringLiteral("/");
}

template <class F> F* Fn(int index) { return reinterpret_cast<F*>(TZIUtilities::Entry(index)); }

QByteArray PathBytes(const QString& path) {
    return (path.isEmpty() ? QStringLiteral("/") : path).toUtf8();
}

} // namespace

QString ZIWrapperResultText(int code) {
    switch (code) {
    case ZI_WRAPPER_ALREADY_INITIALIZED: return QStringLiteral("API is already initialized");
    case ZI_WRAPPER_NOT_INITIALIZED: return QStringLiteral("API is not initialized");
    case ZI_WRAPPER_EVENT_OUT_OF_BOUNDS: return QStringLiteral("Event index is out of bounds");
    case ZI_WRAPPER_EVENT_NOT_ALLOCATED: return QStringLiteral("Event is not allocated");
    case ZI_WRAPPER_ALREADY_CONNECTED: return QStringLiteral("Data Server is already connected");
    case ZI_WRAPPER_NOT_CONNECTED: return QStringLiteral("Data Server is not connected");
    case ZI_WRAPPER_VERSION_MISMATCH:
        return QStringLiteral("API and Data Server version mismatch");
    case ZI_WRAPPER_NO_PATH: return QStringLiteral("Path is not specified");
    case ZI_WRAPPER_ENTRY_MISSING:
        return QStringLiteral("Library function is not available");
    default: return QString();
    }
}

EZIAPIException::EZIAPIException(const QString& message)
    : std::runtime_error(message.toStdString()), FMessage(message) {}

// ---- TZIUtilities

const char* TZIUtilities::EntryName(int index) {
    return index >= 0 && index < EntryCount ? KEntryNames[index] : "";
}

QString TZIUtilities::LibraryPath() {
    const QString& path = State().Path;
    return path.isEmpty() ? ProgramDir() + u'/' + KUtilityName : path;
}

void TZIUtilities::SetLibraryPath(const QString& path) { State().Path = path; }

QString TZIUtilities::LibraryDisplayName() {
    return State().Path.isEmpty() ? KUtilityName : State().Path;
}

bool TZIUtilities::DLLAvailable() {
    struct stat info {};
    return stat(LibraryPath().toLocal8Bit().constData(), &info) == 0 && S_ISREG(info.st_mode);
}

void TZIUtilities::LoadAPI() {
    TLibraryState& s = State();
    ++s.Loads;
    if (s.Module)
        return;
    s.Entries.fill(nullptr);
    s.Resolved = 0;
    s.Missing.clear();
    s.Error.clear();
    dlerror();
    s.Module = dlopen(LibraryPath().toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    s.Loaded = s.Module != nullptr;
    if (!s.Loaded) {
        const char* error = dlerror();
        s.Error = error ? QString::fromLocal8Bit(error) : QStringLiteral("cannot be loaded");
        return;
    }
    for (int i = 0; i < EntryCount; ++i) {
        void* address = dlsym(s.Module, KEntryNames[i]);
        if (!address) {
            s.Missing = QString::fromLatin1(KEntryNames[i]);
            break;
        }
        s.Entries[i] = address;
        s.Resolved = i + 1;
    }
}

void TZIUtilities::UnloadAPI() {
    TLibraryState& s = State();
    if (s.Loads > 0)
        --s.Loads;
    if (s.Loads > 0 || !s.Module)
        return;
    s.Entries.fill(nullptr);
    s.Resolved = 0;
    dlclose(s.Module);
    s.Module = nullptr;
    s.Loaded = false;
}

bool TZIUtilities::Loaded() { return State().Loaded; }
int TZIUtilities::ResolvedCount() { return State().Resolved; }
QString TZIUtilities::MissingEntry() { return State().Missing; }
QString TZIUtilities::LoadError() { return State().Error; }

void* TZIUtilities::Entry(int index) {
    return index >= 0 && index < EntryCount ? State().Entries[index] : nullptr;
}

// ---- event values

TEventValue::TEventValue() : FEvent(std::make_unique<TZIEvent>()) {}

void TEventValue::SetEvent(const TZIEvent& event) {
    std::memcpy(FEvent.get(), &event, sizeof(TZIEvent));
}

TZIImpedanceSample TEventValueImpedanceSample::Sample() const {
    TZIImpedanceSample sample;
    std::memcpy(&sample, Event().data, sizeof sample);
    return sample;
}

std::any TEventValueImpedanceSample::GetValue() const { return Sample(); }

void ImpedanceSampleOf(const TZIEvent& event, TZIImpedanceSample& sample) {
    if (!event.value)
        return;
    std::shared_ptr<IEventValue> value = std::make_shared<TEventValueImpedanceSample>();
    value->SetEvent(event);
    sample = std::any_cast<TZIImpedanceSample>(value->GetValue());
}

// ---- TziAPI

TziAPI::TziAPI(bool AutoInitialize) {
    TZIUtilities::LoadAPI();
    if (AutoInitialize) {
        if (!TZIUtilities::Loaded()) {
            TZIUtilities::UnloadAPI(); // the destructor does not run after a throw
            throw EZIAPIException(TZIUtilities::LibraryDisplayName() + " is unavailable");
        }
        Init();
    }
}

TziAPI::~TziAPI() {
    EventsClear();
    if (FConnected)
        Disconnect();
    if (FInitialized)
        Deinit();
    TZIUtilities::UnloadAPI();
}

int TziAPI::Init() {
    if (FInitialized)
        return ZI_WRAPPER_ALREADY_INITIALIZED;
    if (!TZIUtilities::Loaded())
        throw EZIAPIException(TZIUtilities::LibraryDisplayName() + " is unavailable");
    auto f = Fn<ZIInitFn>(zeInit);
    FLastResult = f ? f(&FConnection) : ZI_WRAPPER_ENTRY_MISSING;
    FInitialized = FLastResult == 0;
    if (!FInitialized)
        FConnection = nullptr;
    return FLastResult;
}

int TziAPI::Deinit() {
    if (!FInitialized)
        return ZI_WRAPPER_NOT_INITIALIZED;
    auto f = Fn<ZIDestroyFn>(zeDestroy);
    FLastResult = f ? f(FConnection) : ZI_WRAPPER_ENTRY_MISSING;
    if (FLastResult == 0) {
        FInitialized = false;
        FConnected = false; // the connection went with its handle
        FConnection = nullptr;
    }
    return FLastResult;
}

int TziAPI::ConnectEx(const QString& host, quint16 port, const QString& implementation,
                      int apiLevel) {
    if (FConnected)
        return ZI_WRAPPER_ALREADY_CONNECTED;
    if (!FInitialized)
        return ZI_WRAPPER_NOT_INITIALIZED; // no handle to connect
    auto f = Fn<ZIConnectExFn>(zeConnectEx);
    FLastResult = f ? f(FConnection, host.toLocal8Bit().constData(), port, apiLevel,
                        implementation.toLocal8Bit().constData())
                    : ZI_WRAPPER_ENTRY_MISSING;
    FConnected = FLastResult == 0;
    if (FConnected)
        FServerHost = host;
    return FLastResult;
}

int TziAPI::Disconnect() {
    if (!FConnected)
        return ZI_WRAPPER_NOT_CONNECTED;
    auto f = Fn<ZIDisconnectFn>(zeDisconnect);
    FLastResult = f ? f(FConnection) : ZI_WRAPPER_ENTRY_MISSING;
    if (FLastResult == 0)
        FConnected = false;
    return FLastResult;
}

QString TziAPI::APIVersion() {
    auto f = Fn<ZIGetVersionFn>(zeGetVersion);
    if (!f) {
        FLastResult = ZI_WRAPPER_ENTRY_MISSING;
        return QString();
    }
    const char* version = nullptr;
    FLastResult = f(&version);
    return FLastResult == 0 && version ? QString::fromLocal8Bit(version) : QString();
}

int TziAPI::EventAdd() {
    auto f = Fn<ZIAllocateEventExFn>(zeAllocateEventEx);
    TZIEvent* event = f ? f() : nullptr;
    if (!event)
        return -1;
    FEvents.push_back(event);
    return static_cast<int>(FEvents.size()) - 1;
}

void TziAPI::EventRemove(int index) {
    if (index < 0 || index >= EventCount())
        return;
    // Without the library's release function the buffer cannot be freed; it leaves the list.
    if (auto f = Fn<ZIDeallocateEventExFn>(zeDeallocateEventEx))
        f(FEvents[index]);
    FEvents.erase(FEvents.begin() + index);
}

void TziAPI::EventsClear() {
    while (!FEvents.empty())
        EventRemove(0);
}

void TziAPI::GetEvents(int index, TZIEvent& event) const {
    if (index >= 0 && index < EventCount())
        std::memcpy(&event, FEvents[index], sizeof(TZIEvent));
}

int TziAPI::PollData(int index, int timeoutMs) {
    if (!FConnected)
        return ZI_WRAPPER_NOT_CONNECTED;
    if (FEvents.empty())
        return ZI_WRAPPER_EVENT_NOT_ALLOCATED;
    if (index < 0 || index >= EventCount())
        return ZI_WRAPPER_EVENT_OUT_OF_BOUNDS;
    auto f = Fn<ZIPollDataExFn>(zePollDataEx);
    FLastResult = f ? f(FConnection, FEvents[index], static_cast<uint32_t>(std::max(timeoutMs, 0)))
                    : ZI_WRAPPER_ENTRY_MISSING;
    return FLastResult;
}

int TziAPI::Subscribe(const QString& path) {
    if (!FConnected)
        return ZI_WRAPPER_NOT_CONNECTED;
    if (path.isEmpty())
        return ZI_WRAPPER_NO_PATH;
    auto f = Fn<ZISubscribeFn>(zeSubscribe);
    return f ? f(FConnection, path.toUtf8().constData()) : ZI_WRAPPER_ENTRY_MISSING;
}

int TziAPI::Unsubscribe(const QString& path) {
    if (!FConnected)
        return ZI_WRAPPER_NOT_CONNECTED;
    if (path.isEmpty())
        return ZI_WRAPPER_NO_PATH;
    auto f = Fn<ZISubscribeFn>(zeUnSubscribe);
    return f ? f(FConnection, path.toUtf8().constData()) : ZI_WRAPPER_ENTRY_MISSING;
}

int TziAPI::GetValueAsPollData(const QString& path) {
    if (!FConnected)
        return ZI_WRAPPER_NOT_CONNECTED;
    auto f = Fn<ZIGetValueAsPollDataFn>(zeGetValueAsPollData);
    FLastResult = f ? f(FConnection, PathBytes(path).constData()) : ZI_WRAPPER_ENTRY_MISSING;
    return FLastResult;
}

void TziAPI::SetNodeValue(const QString& path, const QVariant& value) {
    if (!FConnected)
        return;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        SetValueI(path, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        SetValueD(path, value.toDouble());
        break;
    case QMetaType::QByteArray: SetValueString(path, value.toByteArray()); break;
    case QMetaType::QString: SetValueUnicode(path, value.toString()); break;
    default: throw EZIAPIException(QStringLiteral("Unknown or unsupported value type"));
    }
}

QVariant TziAPI::GetNodeValue(const QString& path, QMetaType type) {
    switch (type.id()) {
    case QMetaType::LongLong: return GetValueI(path);
    case QMetaType::Double: return GetValueD(path);
    case QMetaType::QByteArray: return GetValueString(path);
    case QMetaType::QString: return GetValueUnicode(path);
    default: throw EZIAPIException(QStringLiteral("Unknown or unsupported value type"));
    }
}

void TziAPI::SetValueI(const QString& path, qint64 value) {
    if (!FConnected)
        return;
    auto f = Fn<ZISetValueIFn>(zeSetValueI);
    FLastResult = f ? f(FConnection, PathBytes(path).constData(), value) : ZI_WRAPPER_ENTRY_MISSING;
}

void TziAPI::SetValueD(const QString& path, double value) {
    if (!FConnected)
        return;
    auto f = Fn<ZISetValueDFn>(zeSetValueD);
    FLastResult = f ? f(FConnection, PathBytes(path).constData(), value) : ZI_WRAPPER_ENTRY_MISSING;
}

void TziAPI::SetValueString(const QString& path, const QByteArray& value) {
    if (!FConnected)
        return;
    auto f = Fn<ZISetValueStringFn>(zeSetValueString);
    FLastResult = f ? f(FConnection, PathBytes(path).constData(), value.constData())
                    : ZI_WRAPPER_ENTRY_MISSING;
}

void TziAPI::SetValueUnicode(const QString& path, const QString& value) {
    if (!FConnected)
        return;
    auto f = Fn<ZISetValueStringUnicodeFn>(zeSetValueStringUnicode);
    if (!f) {
        FLastResult = ZI_WRAPPER_ENTRY_MISSING;
        return;
    }
    std::wstring text = value.toStdWString();
    FLastResult = f(FConnection, PathBytes(path).constData(), text.c_str());
}

qint64 TziAPI::GetValueI(const QString& path) {
    if (!FConnected)
        return 0;
    auto f = Fn<ZIGetValueIFn>(zeGetValueI);
    int64_t value = 0;
    FLastResult = f ? f(FConnection, PathBytes(path).constData(), &value)
                    : ZI_WRAPPER_ENTRY_MISSING;
    return FLastResult == 0 ? value : 0;
}

double TziAPI::GetValueD(const QString& path) {
    if (!FConnected)
        return 0.0;
    auto f = Fn<ZIGetValueDFn>(zeGetValueD);
    double value = 0.0;
    FLastResult = f ? f(FConnection, PathBytes(path).constData(), &value)
                    : ZI_WRAPPER_ENTRY_MISSING;
    return FLastResult == 0 ? value : 0.0;
}

QByteArray TziAPI::GetValueString(const QString& path) {
    if (!FConnected)
        return QByteArray();
    auto f = Fn<ZIGetValueStringFn>(zeGetValueString);
    if (!f) {
        FLastResult = ZI_WRAPPER_ENTRY_MISSING;
        return QByteArray();
    }
    constexpr unsigned int KSize = 524288;
    std::vector<char> buffer(KSize, 0);
    unsigned int length = 0;
    FLastResult = f(FConnection, PathBytes(path).constData(), buffer.data(), &length, KSize);
    buffer.back() = 0;
    return QByteArray(buffer.data(), static_cast<qsizetype>(std::strlen(buffer.data())));
}

QString TziAPI::GetValueUnicode(const QString& path) {
    if (!FConnected)
        return QString();
    auto f = Fn<ZIGetValueStringUnicodeFn>(zeGetValueStringUnicode);
    if (!f) {
        FLastResult = ZI_WRAPPER_ENTRY_MISSING;
        return QString();
    }
    // 1,048,576 bytes; the library is told the size in wchar_t units so it cannot overrun.
    constexpr unsigned int KUnits = 1048576 / sizeof(wchar_t);
    std::vector<wchar_t> buffer(KUnits, 0);
    unsigned int length = 0;
    FLastResult = f(FConnection, PathBytes(path).constData(), buffer.data(), &length, KUnits);
    buffer.back() = 0;
    const auto end = std::find(buffer.begin(), buffer.end(), wchar_t(0));
    return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(end - buffer.begin()));
}

QString TziAPI::ResultText(int code) {
    if (code == 0)
        return QStringLiteral("Success");
    const QString wrapper = ZIWrapperResultText(code);
    if (!wrapper.isEmpty())
        return wrapper;
    if (auto f = Fn<ZIGetErrorFn>(zeGetError)) {
        const char* text = nullptr;
        int base = 0;
        if (f(code, &text, &base) == 0 && text)
            return QString::fromLocal8Bit(text);
    }
    return QStringLiteral("Unknown error %1").arg(code);
}
