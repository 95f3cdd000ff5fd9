#pragma once

// Binding to the analyser's data-server client library, loaded at run time.

#include "tavlo/ziapidecl.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <any>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

enum TZIDebugLevel {
    debugLevelTrace,
    debugLevelDebug,
    debugLevelInfo,
    debugLevelStatus,
    debugLevelWarning,
    debugLevelError,
    debugLevelFatal
};

// Result codes of the binding itself; 0 is success, codes up to 0x9103 are the library's.
enum : int {
    ZI_WRAPPER_ALREADY_INITIALIZED = 0xF001,
    ZI_WRAPPER_NOT_INITIALIZED = 0xF002,
    ZI_WRAPPER_EVENT_OUT_OF_BOUNDS = 0xF003,
    ZI_WRAPPER_EVENT_NOT_ALLOCATED = 0xF004,
    ZI_WRAPPER_ALREADY_CONNECTED = 0xF005,
    ZI_WRAPPER_NOT_CONNECTED = 0xF006,
    ZI_WRAPPER_VERSION_MISMATCH = 0xF007,
    ZI_WRAPPER_NO_PATH = 0xF008,
    // The library lacks the entry point the operation needs (not loaded or not resolved).
    ZI_WRAPPER_ENTRY_MISSING = 0xF009,
};

// Text of a wrapper result code; empty for any other code.
QString ZIWrapperResultText(int code);

class EZIAPIException : public std::runtime_error {
public:
    explicit EZIAPIException(const QString& message);
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

// The library's entry points, in resolution order.
enum TZIEntry : int {
    zeInit = 0,
    zeDestroy = 1,
    zeConnect = 2,
    zeDisconnect = 3,
    zeConnectEx = 4,
    zeAllocateEventEx = 7,
    zeDeallocateEventEx = 8,
    zeGetError = 9,
    zeGetVersion = 12,
    zeGetValueD = 17,
    zeGetValueI = 19,
    zeGetValueString = 24,
    zeGetValueStringUnicode = 25,
    zeSetValueD = 26,
    zeSetValueI = 28,
    zeSetValueString = 30,
    zeSetValueStringUnicode = 31,
    zeSubscribe = 39,
    zeUnSubscribe = 40,
    zePollDataEx = 41,
    zeGetValueAsPollData = 42,
};

// Process-wide library handle and entry points. Loads are counted: the library is freed
// when every LoadAPI has been matched by an UnloadAPI.
class TZIUtilities {
public:
    static constexpr int EntryCount = 80;
    static const char* EntryName(int index);

    // The library file: <program folder>/Utility/libziAPI-linux64.so unless set otherwise.
    static QString LibraryPath();
    // An empty path restores the default. Takes effect at the next actual load.
    static void SetLibraryPath(const QString& path);
    // The name used in messages: "Utility/libziAPI-linux64.so" for the default file.
    static QString LibraryDisplayName();

    static bool DLLAvailable();
    static void LoadAPI();
    static void UnloadAPI();

    // The library is loaded, whether or not every entry point was found.
    static bool Loaded();
    // Entry points resolved from the start of the table; the first missing one stops it.
    static int ResolvedCount();
    // The first name that could not be resolved; empty when all were.
    static QString MissingEntry();
    // Why the last load failed (the loader's message); empty after a successful load.
    static QString LoadError();
    // The resolved address, or null.
    static void* Entry(int index);
};

// One reference-counted view of a copied event.
class IEventValue {
public:
    virtual ~IEventValue() = default;
    virtual std::any GetValue() const = 0;
    virtual void SetEvent(const TZIEvent& event) = 0;
};

// Holds a private copy of one whole event record.
class TEventValue : public IEventValue {
public:
    TEventValue();
    void SetEvent(const TZIEvent& event) override;
    const TZIEvent& Event() const { return *FEvent; }

private:
    std::unique_ptr<TZIEvent> FEvent;
};

// The 80 bytes at the start of the event's data as an impedance sample.
class TEventValueImpedanceSample : public TEventValue {
public:
    std::any GetValue() const override; // holds a TZIImpedanceSample
    TZIImpedanceSample Sample() const;
};

// When the event's value pointer is set, sample := its first impedance sample; otherwise
// the sample stays as it was.
void ImpedanceSampleOf(const TZIEvent& event, TZIImpedanceSample& sample);

// One connection to the data server.
class TziAPI {
public:
    explicit TziAPI(bool AutoInitialize);
    ~TziAPI();
    TziAPI(const TziAPI&) = delete;
    TziAPI& operator=(const TziAPI&) = delete;

    int Init();
    int Deinit();
    int ConnectEx(const QString& host, quint16 port, const QString& implementation, int apiLevel);
    int Disconnect();
    QString APIVersion();

    // Index of a new event buffer; -1 when the library gave none.
    int EventAdd();
    void EventRemove(int index);
    void EventsClear();
    int EventCount() const { return static_cast<int>(FEvents.size()); }
    // Copies the whole record when index is valid; leaves event untouched otherwise.
    void GetEvents(int index, TZIEvent& event) const;
    int PollData(int index, int timeoutMs);
    int Subscribe(const QString& path);
    int Unsubscribe(const QString& path);
    int GetValueAsPollData(const QString& path);

    // Integer, double, 8-bit (QByteArray) or Unicode (QString) value.
    template <class T> void SetNodeValue(const QString& path, const T& value);
    // Runtime form; raises EZIAPIException for any other type.
    void SetNodeValue(const QString& path, const QVariant& value);
    // qint64, double, QByteArray or QString; the empty value when not connected.
    template <class T> T GetNodeValue(const QString& path);
    // Runtime form; raises EZIAPIException for any other type.
    QVariant GetNodeValue(const QString& path, QMetaType type);

    // Text of a result code: wrapper texts, the library's own for its codes.
    QString ResultText(int code);

    bool Initialized() const { return FInitialized; }
    bool Connected() const { return FConnected; }
    int LastResult() const { return FLastResult; }
    TZIDebugLevel DebugLevel() const { return FDebugLevel; }
    QString ServerHost() const { return FServerHost; }

private:
    void SetValueI(const QString& path, qint64 value);
    void SetValueD(const QString& path, double value);
    void SetValueString(const QString& path, const QByteArray& value);
    void SetValueUnicode(const QString& path, const QString& value);
    qint64 GetValueI(const QString& path);
    double GetValueD(const QString& path);
    QByteArray GetValueString(const QString& path);
    QString GetValueUnicode(const QString& path);

    ZIConnection FConnection = nullptr;
    bool FInitialized = false;
    bool FConnected = false;
    TZIDebugLevel FDebugLevel = debugLevelFatal;
    int FLastResult = 0;
    QString FServerHost;
    std::vector<TZIEvent*> FEvents;
};

template <class T> void TziAPI::SetNodeValue(const QString& path, const T& value) {
    if constexpr (std::is_same_v<T, QVariant>) {
        SetNodeValue(path, static_cast<const QVariant&>(value));
    } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        SetValueI(path, static_cast<qint64>(value));
    } else if constexpr (std::is_floating_point_v<T>) {
        SetValueD(path, static_cast<double>(value));
    } else if constexpr (std::is_same_v<T, QByteArray>) {
        SetValueString(path, value);
    } else if constexpr (std::is_same_v<T, QString>) {
        SetValueUnicode(path, value);
    } else {
        static_assert(sizeof(T) == 0, "Unknown or unsupported value type");
    }
}

template <class T> T TziAPI::GetNodeValue(const QString& path) {
    if constexpr (std::is_same_v<T, qint64>) {
        return GetValueI(path);
    } else if constexpr (std::is_same_v<T, double>) {
        return GetValueD(path);
    } else if constexpr (std::is_same_v<T, QByteArray>) {
        return GetValueString(path);
    } else if constexpr (std::is_same_v<T, QString>) {
        return GetValueUnicode(path);
    } else {
        static_assert(sizeof(T) == 0, "Unknown or unsupported value type");
    }
}
