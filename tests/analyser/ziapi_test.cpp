#include "tavlo/ziapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

const char* const KSimKeys[] = {"HOST", "PORT", "CONNECT_FAILURES", "OPTIONS", "R", "C", "RS",
                                "NOISE", "SEED", "FLAGS", "NODATA", "SEQUENCE", "CONFIG"};

void SetSim(const char* key, const QByteArray& value) {
    setenv((QByteArray("TAVLO_ZISIM_") + key).constData(), value.constData(), 1);
}

const QString KHost = QStringLiteral("mf-dev1234");
const QString KSamplePath = QStringLiteral("/DEV1234/IMPS/0/SAMPLE");

class ZiApiTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        for (const char* key : KSimKeys)
            unsetenv((QByteArray("TAVLO_ZISIM_") + key).constData());
        TZIUtilities::SetLibraryPath(QString());
    }

    static std::unique_ptr<TziAPI> Connected() {
        auto api = std::make_unique<TziAPI>(false);
        EXPECT_EQ(api->Init(), 0);
        EXPECT_EQ(api->ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
        return api;
    }

    // Test signal on and the impedance module running.
    static void StartSignal(TziAPI& api, double frequency) {
        api.SetNodeValue("/dev1234/imps/0/freq", frequency);
        api.SetNodeValue("/dev1234/imps/0/output/amplitude", 0.1);
        api.SetNodeValue("/dev1234/imps/0/output/on", 1);
        api.SetNodeValue("/dev1234/imps/0/enable", 1);
    }
};

// ---- loading

TEST_F(ZiApiTest, ResolvesAllEntriesOfTheLibraryBesideTheProgram) {
    EXPECT_EQ(TZIUtilities::LibraryPath(),
              QCoreApplication::applicationDirPath() + "/Utility/libziAPI-linux64.so");
    EXPECT_EQ(TZIUtilities::LibraryDisplayName(), "Utility/libziAPI-linux64.so");
    EXPECT_TRUE(TZIUtilities::DLLAvailable());
    TZIUtilities::LoadAPI();
    ASSERT_TRUE(TZIUtilities::Loaded()) << TZIUtilities::LoadError().toStdString();
    EXPECT_EQ(TZIUtilities::ResolvedCount(), 80);
    EXPECT_TRUE(TZIUtilities::MissingEntry().isEmpty());
    for (int i = 0; i < TZIUtilities::EntryCount; ++i)
        EXPECT_NE(TZIUtilities::Entry(i), nullptr) << TZIUtilities::EntryName(i);
    EXPECT_STREQ(TZIUtilities::EntryName(0), "ziAPIInit");
    EXPECT_STREQ(TZIUtilities::EntryName(46), "ReadMEMFile");
    EXPECT_STREQ(TZIUtilities::EntryName(79), "ziAPIDiscoveryGetValueS");
    TZIUtilities::UnloadAPI();
    EXPECT_FALSE(TZIUtilities::Loaded());
    EXPECT_EQ(TZIUtilities::Entry(0), nullptr);
}

TEST_F(ZiApiTest, LibraryStaysLoadedWhileAnyConnectionObjectLives) {
    auto first = std::make_unique<TziAPI>(false);
    auto second = std::make_unique<TziAPI>(false);
    first.reset();
    ASSERT_TRUE(TZIUtilities::Loaded());
    EXPECT_EQ(second->Init(), 0);
    EXPECT_EQ(second->ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    second.reset();
    EXPECT_FALSE(TZIUtilities::Loaded());
}

TEST_F(ZiApiTest, MissingLibraryIsReportedWithItsPath) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Utility/libziAPI-linux64.so");
    TZIUtilities::SetLibraryPath(path);
    EXPECT_FALSE(TZIUtilities::DLLAvailable());
    const QString message = path + " is unavailable";
    try {
        TziAPI api(true);
        ADD_FAILURE() << "no exception";
    } catch (const EZIAPIException& e) {
        EXPECT_EQ(e.Message(), message);
        EXPECT_STREQ(e.what(), message.toUtf8().constData());
    }
    EXPECT_FALSE(TZIUtilities::Loaded());

    TziAPI api(false);
    EXPECT_FALSE(TZIUtilities::Loaded());
    try {
        api.Init();
        ADD_FAILURE() << "no exception";
    } catch (const EZIAPIException& e) {
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_FALSE(api.Initialized());
    EXPECT_EQ(api.EventAdd(), -1);
    EXPECT_EQ(api.EventCount(), 0);
    EXPECT_EQ(api.APIVersion(), QString());
    EXPECT_EQ(api.LastResult(), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.ResultText(ZI_WRAPPER_ENTRY_MISSING), "Library function is not available");
}

TEST_F(ZiApiTest, FileThatIsNoLibraryIsAvailableButNotLoaded) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Utility"));
    const QString path = dir.filePath("Utility/libziAPI-linux64.so");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a library\n");
    file.close();
    TZIUtilities::SetLibraryPath(path);
    EXPECT_TRUE(TZIUtilities::DLLAvailable());
    EXPECT_THROW(TziAPI(true), EZIAPIException);
    TziAPI api(false);
    EXPECT_FALSE(TZIUtilities::Loaded());
    EXPECT_FALSE(TZIUtilities::LoadError().isEmpty());
    EXPECT_THROW(api.Init(), EZIAPIException);
}

TEST_F(ZiApiTest, LibraryLackingANameIsLoadedAndItsLaterEntriesFailSafely) {
    TZIUtilities::SetLibraryPath(TAVLO_ZIAPI_LACKING);
    TziAPI api(false);
    ASSERT_TRUE(TZIUtilities::Loaded());
    EXPECT_EQ(TZIUtilities::MissingEntry(), "ziAPISubscribe");
    EXPECT_EQ(TZIUtilities::ResolvedCount(), 39);
    EXPECT_NE(TZIUtilities::Entry(38), nullptr);
    for (int i = 39; i < TZIUtilities::EntryCount; ++i)
        EXPECT_EQ(TZIUtilities::Entry(i), nullptr) << TZIUtilities::EntryName(i);
    // The library does have the names after the missing one.
    void* own = dlopen(TAVLO_ZIAPI_LACKING, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(dlsym(own, "ziAPISubscribe"), nullptr);
    EXPECT_NE(dlsym(own, "ziAPIUnSubscribe"), nullptr);
    EXPECT_NE(dlsym(own, "ziAPIPollDataEx"), nullptr);
    dlclose(own);

    // Entries before the missing one work; the later ones answer ZI_WRAPPER_ENTRY_MISSING.
    EXPECT_EQ(api.Init(), 0);
    EXPECT_EQ(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    api.SetNodeValue("/dev1234/imps/0/freq", 2000.0);
    EXPECT_EQ(api.LastResult(), 0);
    EXPECT_DOUBLE_EQ(api.GetNodeValue<double>("/dev1234/imps/0/freq"), 2000.0);
    const int index = api.EventAdd();
    EXPECT_EQ(index, 0);
    EXPECT_EQ(api.Subscribe(KSamplePath), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.Unsubscribe(KSamplePath), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.GetValueAsPollData(KSamplePath), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.LastResult(), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.PollData(index, 10), ZI_WRAPPER_ENTRY_MISSING);
    EXPECT_EQ(api.Disconnect(), 0);
    EXPECT_EQ(api.Deinit(), 0);
}

// ---- lifecycle and result codes

TEST_F(ZiApiTest, LifecycleAndItsWrapperCodes) {
    TziAPI api(false);
    EXPECT_FALSE(api.Initialized());
    EXPECT_FALSE(api.Connected());
    EXPECT_EQ(api.DebugLevel(), debugLevelFatal);
    EXPECT_EQ(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), ZI_WRAPPER_NOT_INITIALIZED);
    EXPECT_EQ(api.Deinit(), ZI_WRAPPER_NOT_INITIALIZED);
    EXPECT_EQ(api.Init(), 0);
    EXPECT_TRUE(api.Initialized());
    EXPECT_EQ(api.APIVersion(), "Tavlo simulated ziAPI 1.0");
    EXPECT_EQ(api.LastResult(), 0);

    // A refused connection leaves a library code in LastResult; a second Init calls nothing.
    const int refused = api.ConnectEx(KHost, 9999, "ziAPI_Core", 6);
    EXPECT_NE(refused, 0);
    EXPECT_LE(refused, 0x9103);
    EXPECT_EQ(api.LastResult(), refused);
    EXPECT_FALSE(api.Connected());
    EXPECT_EQ(api.ResultText(refused), "Connection to the data server refused");
    EXPECT_EQ(api.Init(), ZI_WRAPPER_ALREADY_INITIALIZED);
    EXPECT_EQ(api.LastResult(), refused);

    EXPECT_EQ(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    EXPECT_TRUE(api.Connected());
    EXPECT_EQ(api.ServerHost(), KHost);
    EXPECT_EQ(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), ZI_WRAPPER_ALREADY_CONNECTED);
    EXPECT_EQ(api.Disconnect(), 0);
    EXPECT_FALSE(api.Connected());
    EXPECT_EQ(api.Disconnect(), ZI_WRAPPER_NOT_CONNECTED);
    EXPECT_EQ(api.Deinit(), 0);
    EXPECT_FALSE(api.Initialized());
    EXPECT_EQ(api.Deinit(), ZI_WRAPPER_NOT_INITIALIZED);
    EXPECT_EQ(api.Init(), 0);
}

TEST_F(ZiApiTest, DeinitOfAConnectedObjectEndsTheConnection) {
    auto api = Connected();
    EXPECT_EQ(api->Deinit(), 0);
    EXPECT_FALSE(api->Connected());
    EXPECT_EQ(api->Disconnect(), ZI_WRAPPER_NOT_CONNECTED);
}

TEST_F(ZiApiTest, ConnectionRefusals) {
    struct Case {
        const char* Name;
        const char* Key;
        QByteArray Value;
        QString Host;
        quint16 Port;
        QString Implementation;
        int Level;
        bool Accepted;
    };
    const Case cases[] = {
        {"default", nullptr, "", KHost, 8004, "ziAPI_Core", 6, true},
        {"other port", "PORT", "8010", KHost, 8010, "ziAPI_Core", 6, true},
        {"wrong port", nullptr, "", KHost, 8005, "ziAPI_Core", 6, false},
        {"host required", "HOST", "MF-DEV1234", "mf-dev1234", 8004, "ziAPI_Core", 6, true},
        {"wrong host", "HOST", "mf-dev1234", "mf-dev4321", 8004, "ziAPI_Core", 6, false},
        {"implementation", nullptr, "", KHost, 8004, "ziAPI_HF2", 6, false},
        {"api level", nullptr, "", KHost, 8004, "ziAPI_Core", 7, false},
        {"refusing", "CONNECT_FAILURES", "-1", KHost, 8004, "ziAPI_Core", 6, false},
    };
    for (const Case& c : cases) {
        Reset();
        if (c.Key)
            SetSim(c.Key, c.Value);
        TziAPI api(false);
        ASSERT_EQ(api.Init(), 0);
        const int result = api.ConnectEx(c.Host, c.Port, c.Implementation, c.Level);
        EXPECT_EQ(result == 0, c.Accepted) << c.Name;
        EXPECT_EQ(api.Connected(), c.Accepted) << c.Name;
        EXPECT_EQ(api.LastResult(), result) << c.Name;
        EXPECT_TRUE(ZIWrapperResultText(result).isEmpty()) << c.Name;
    }
}

TEST_F(ZiApiTest, FirstConnectionRefusedSecondAccepted) {
    SetSim("CONNECT_FAILURES", "1");
    TziAPI api(false);
    ASSERT_EQ(api.Init(), 0);
    EXPECT_NE(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    EXPECT_EQ(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
}

TEST_F(ZiApiTest, PreconditionsAnswerWithoutCallingTheLibrary) {
    const auto connected = Connected();
    TziAPI initialised(false);
    ASSERT_EQ(initialised.Init(), 0);
    using Op = std::function<int()>;
    struct Case {
        const char* Name;
        TziAPI* Api;
        Op Call;
        int Code;
    };
    TziAPI* c = connected.get();
    TziAPI* i = &initialised;
    const Case noEvents[] = {
        {"poll without events", c, [c] { return c->PollData(0, 0); }, 0xF004},
        {"subscribe empty", c, [c] { return c->Subscribe(""); }, 0xF008},
        {"unsubscribe empty", c, [c] { return c->Unsubscribe(""); }, 0xF008},
        {"poll unconnected", i, [i] { return i->PollData(0, 0); }, 0xF006},
        {"subscribe unconnected", i, [i] { return i->Subscribe(KSamplePath); }, 0xF006},
        {"unsubscribe unconnected", i, [i] { return i->Unsubscribe(KSamplePath); }, 0xF006},
        {"get as poll unconnected", i, [i] { return i->GetValueAsPollData("/"); }, 0xF006},
        {"disconnect unconnected", i, [i] { return i->Disconnect(); }, 0xF006},
        {"init twice", i, [i] { return i->Init(); }, 0xF001},
        {"connect twice", c, [c] { return c->ConnectEx(KHost, 8004, "ziAPI_Core", 6); }, 0xF005},
    };
    const Case withEvent[] = {
        {"index = count", c, [c] { return c->PollData(1, 0); }, 0xF003},
        {"negative index", c, [c] { return c->PollData(-1, 0); }, 0xF003},
    };
    // Give both objects a library code in LastResult that the wrapper answers must keep.
    c->GetNodeValue<double>("/dev1234/no/such/node");
    const int before = c->LastResult();
    ASSERT_NE(before, 0);
    i->ConnectEx(KHost, 1, "ziAPI_Core", 6);
    const int beforeI = i->LastResult();
    ASSERT_NE(beforeI, 0);
    for (const Case& k : noEvents) {
        EXPECT_EQ(k.Call(), k.Code) << k.Name;
        EXPECT_EQ(k.Api->LastResult(), k.Api == c ? before : beforeI) << k.Name;
    }
    ASSERT_EQ(c->EventAdd(), 0);
    for (const Case& k : withEvent) {
        EXPECT_EQ(k.Call(), k.Code) << k.Name;
        EXPECT_EQ(c->LastResult(), before) << k.Name;
    }
    EXPECT_EQ(c->PollData(0, 0), 0);
}

TEST_F(ZiApiTest, WrapperTexts) {
    const std::pair<int, const char*> table[] = {
        {61441, "API is already initialized"},          {61442, "API is not initialized"},
        {61443, "Event index is out of bounds"},        {61444, "Event is not allocated"},
        {61445, "Data Server is already connected"},    {61446, "Data Server is not connected"},
        {61447, "API and Data Server version mismatch"}, {61448, "Path is not specified"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(ZIWrapperResultText(code), text) << code;
    EXPECT_TRUE(ZIWrapperResultText(0x8000).isEmpty());
}

TEST_F(ZiApiTest, SubscribeLeavesLastResultAlone) {
    auto api = Connected();
    api->GetNodeValue<qint64>("/dev1234/no/such/node");
    const int before = api->LastResult();
    ASSERT_NE(before, 0);
    EXPECT_EQ(api->Subscribe(KSamplePath), 0);
    EXPECT_EQ(api->Unsubscribe(KSamplePath), 0);
    EXPECT_NE(api->Subscribe("/elsewhere/node"), 0);
    EXPECT_EQ(api->LastResult(), before);
}

// ---- node values

TEST_F(ZiApiTest, NodeValuesOfEachType) {
    auto api = Connected();
    const QString unicode = QString::fromUtf8("Probe Ω µ € 𝄞");
    api->SetNodeValue("/dev1234/imps/0/mode", qint64(-5000000000));
    EXPECT_EQ(api->LastResult(), 0);
    EXPECT_EQ(api->GetNodeValue<qint64>("/DEV1234/IMPS/0/MODE"), -5000000000);
    api->SetNodeValue("/DEV1234/IMPS/0/DEMOD/RATE", 12.5);
    EXPECT_DOUBLE_EQ(api->GetNodeValue<double>("/dev1234/imps/0/demod/rate"), 12.5);
    api->SetNodeValue("/dev1234/system/name", QByteArray("bench A"));
    EXPECT_EQ(api->GetNodeValue<QByteArray>("/dev1234/system/name"), "bench A");
    api->SetNodeValue("/dev1234/system/label", unicode);
    EXPECT_EQ(api->GetNodeValue<QString>("/dev1234/system/label"), unicode);
    EXPECT_EQ(api->LastResult(), 0);
    api->SetNodeValue("/dev1234/imps/0/bias/enable", 1); // plain int
    EXPECT_EQ(api->GetNodeValue<qint64>("/dev1234/imps/0/bias/enable"), 1);
    // Integers read as doubles and back.
    EXPECT_DOUBLE_EQ(api->GetNodeValue<double>("/dev1234/imps/0/mode"), -5e9);
    EXPECT_EQ(api->GetNodeValue<QString>("/dev1234/imps/0/bias/enable"), "1");

    // The runtime form.
    api->SetNodeValue("/dev1234/imps/0/auto/output", QVariant(1));
    EXPECT_EQ(api->GetNodeValue("/dev1234/imps/0/auto/output", QMetaType::fromType<qint64>()),
              QVariant(qint64(1)));
    api->SetNodeValue("/dev1234/imps/0/bias/value", QVariant(0.25));
    EXPECT_EQ(api->GetNodeValue("/dev1234/imps/0/bias/value", QMetaType::fromType<double>()),
              QVariant(0.25));
    try {
        api->SetNodeValue("/dev1234/imps/0/enable", QVariant(true));
        ADD_FAILURE() << "no exception";
    } catch (const EZIAPIException& e) {
        EXPECT_EQ(e.Message(), "Unknown or unsupported value type");
    }
    EXPECT_THROW(api->GetNodeValue("/dev1234/imps/0/enable", QMetaType::fromType<bool>()),
                 EZIAPIException);

    // An unknown node gives the library's code and the empty value.
    EXPECT_EQ(api->GetNodeValue<double>("/dev1234/no/such/node"), 0.0);
    EXPECT_NE(api->LastResult(), 0);
    EXPECT_EQ(api->ResultText(api->LastResult()), "Node not found");
}

TEST_F(ZiApiTest, NodeValuesNeedAConnection) {
    auto api = std::make_unique<TziAPI>(false);
    ASSERT_EQ(api->Init(), 0);
    api->ConnectEx(KHost, 1, "ziAPI_Core", 6);
    const int before = api->LastResult();
    api->SetNodeValue("/dev1234/imps/0/freq", 5.0);
    api->SetNodeValue("/dev1234/imps/0/mode", 1);
    api->SetNodeValue("/dev1234/x", QByteArray("a"));
    api->SetNodeValue("/dev1234/x", QString("a"));
    api->SetNodeValue("/dev1234/x", QVariant(true)); // no exception either
    EXPECT_EQ(api->LastResult(), before);
    EXPECT_EQ(api->GetNodeValue<qint64>("/dev1234/imps/0/mode"), 0);
    EXPECT_EQ(api->GetNodeValue<double>("/dev1234/imps/0/freq"), 0.0);
    EXPECT_EQ(api->GetNodeValue<QByteArray>("/dev1234/features/options"), QByteArray());
    EXPECT_EQ(api->GetNodeValue<QString>("/dev1234/features/options"), QString());
    EXPECT_EQ(api->LastResult(), before);
    // The value set before connecting did not reach the server.
    ASSERT_EQ(api->ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    EXPECT_DOUBLE_EQ(api->GetNodeValue<double>("/dev1234/imps/0/freq"), 1000.0);
}

TEST_F(ZiApiTest, OptionsTextWithAndWithoutF5M) {
    const std::pair<const char*, bool> cases[] = {
        {nullptr, true}, {"IA,MD", false}, {"IA MD F5M", true}, {"", false}};
    for (const auto& [options, f5m] : cases) {
        Reset();
        if (options)
            SetSim("OPTIONS", options);
        auto api = Connected();
        const QString text = api->GetNodeValue<QString>("/dev1234/features/options");
        EXPECT_EQ(text.contains("F5M"), f5m) << (options ? options : "default");
        EXPECT_EQ(api->LastResult(), 0);
        // The frequency is limited by the options.
        api->SetNodeValue("/dev1234/imps/0/freq", 2e6);
        EXPECT_DOUBLE_EQ(api->GetNodeValue<double>("/dev1234/imps/0/freq"), f5m ? 2e6 : 5e5);
    }
}

// ---- events and samples

TEST_F(ZiApiTest, EventRecordsAndTheirDecoding) {
    auto event = std::make_unique<TZIEvent>();
    // The sample's fields at their offsets in the data.
    const double realz = 123.5, imagz = -45.25, frequency = 1e4;
    const uint32_t flags = 0x30;
    std::memcpy(event->data + 8, &realz, 8);
    std::memcpy(event->data + 16, &imagz, 8);
    std::memcpy(event->data + 24, &frequency, 8);
    std::memcpy(event->data + 40, &flags, 4);
    TZIImpedanceSample sample{};
    sample.realz = 7;
    event->value = nullptr;
    ImpedanceSampleOf(*event, sample);
    EXPECT_EQ(sample.realz, 7); // unchanged
    event->value = event->data;
    ImpedanceSampleOf(*event, sample);
    EXPECT_EQ(sample.realz, realz);
    EXPECT_EQ(sample.imagz, imagz);
    EXPECT_EQ(sample.frequency, frequency);
    EXPECT_EQ(sample.flags, flags);

    TEventValueImpedanceSample value;
    value.SetEvent(*event);
    EXPECT_EQ(std::any_cast<TZIImpedanceSample>(value.GetValue()).imagz, imagz);

    auto api = Connected();
    EXPECT_EQ(api->EventAdd(), 0);
    EXPECT_EQ(api->EventAdd(), 1);
    EXPECT_EQ(api->EventAdd(), 2);
    event->count = 99;
    api->GetEvents(3, *event);
    EXPECT_EQ(event->count, 99u); // untouched
    api->GetEvents(1, *event);
    EXPECT_EQ(event->count, 0u);
    EXPECT_EQ(event->value, nullptr);
    api->EventRemove(1);
    EXPECT_EQ(api->EventCount(), 2);
    api->EventRemove(5);
    EXPECT_EQ(api->EventCount(), 2);
    api->EventsClear();
    EXPECT_EQ(api->EventCount(), 0);
    api->EventAdd(); // released by the destructor
}

TEST_F(ZiApiTest, GetValueAsPollDataOfEmptyPathPollsEverything) {
    auto api = Connected();
    const int index = api->EventAdd();
    EXPECT_EQ(api->GetValueAsPollData(""), 0);
    EXPECT_EQ(api->LastResult(), 0);
    auto event = std::make_unique<TZIEvent>();
    QStringList paths;
    for (int n = 0; n < 100; ++n) {
        ASSERT_EQ(api->PollData(index, 0), 0);
        api->GetEvents(index, *event);
        if (event->count == 0)
            break;
        paths << QString::fromUtf8(reinterpret_cast<const char*>(event->path));
    }
    EXPECT_TRUE(paths.contains("/dev1234/features/options")) << paths.join(' ').toStdString();
    EXPECT_TRUE(paths.contains("/dev1234/imps/0/freq"));
}

TEST_F(ZiApiTest, SubscribedSamplesFollowTheRcSample) {
    SetSim("R", "1000");
    SetSim("C", "1e-7");
    SetSim("RS", "10");
    SetSim("NOISE", "0.001");
    SetSim("SEED", "7");
    auto api = Connected();
    const int index = api->EventAdd();
    auto event = std::make_unique<TZIEvent>();
    for (const double f : {100.0, 1591.55, 20000.0}) {
        StartSignal(*api, f);
        ASSERT_EQ(api->Subscribe(KSamplePath), 0);
        ASSERT_EQ(api->PollData(index, 2000), 0);
        api->GetEvents(index, *event);
        ASSERT_GT(event->count, 0u) << f;
        EXPECT_NE(event->value, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char*>(event->path), "/dev1234/imps/0/sample");
        TZIImpedanceSample s{};
        ImpedanceSampleOf(*event, s);
        const std::complex<double> z =
            10.0 + 1000.0 / (1.0 + std::complex<double>(0, 2 * M_PI * f * 1000 * 1e-7));
        EXPECT_NEAR(s.realz, z.real(), 0.01 * std::abs(z)) << f;
        EXPECT_NEAR(s.imagz, z.imag(), 0.01 * std::abs(z)) << f;
        EXPECT_DOUBLE_EQ(s.frequency, f);
        EXPECT_EQ(s.flags, 0u);
        EXPECT_NEAR(s.phase, std::atan2(s.imagz, s.realz), 1e-12);
        EXPECT_EQ(api->Unsubscribe(KSamplePath), 0);
        // Nothing arrives once unsubscribed.
        ASSERT_EQ(api->PollData(index, 250), 0);
        api->GetEvents(index, *event);
        EXPECT_EQ(event->count, 0u);
        EXPECT_EQ(event->value, nullptr);
    }
}

TEST_F(ZiApiTest, SamplesArriveAtTheDemodulatorRate) {
    auto api = Connected();
    api->SetNodeValue("/dev1234/imps/0/demod/rate", 50.0);
    StartSignal(*api, 1000);
    const int index = api->EventAdd();
    ASSERT_EQ(api->Subscribe(KSamplePath), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    auto event = std::make_unique<TZIEvent>();
    ASSERT_EQ(api->PollData(index, 0), 0);
    api->GetEvents(index, *event);
    EXPECT_GE(event->count, 40u);
    EXPECT_LE(event->count, 60u);
    TZIImpedanceSample first, second;
    std::memcpy(&first, event->data, 80);
    std::memcpy(&second, event->data + 80, 80);
    EXPECT_NEAR(double(second.timeStamp - first.timeStamp) / 60e6, 0.02, 1e-6);
    // The drain leaves nothing behind.
    ASSERT_EQ(api->PollData(index, 0), 0);
    api->GetEvents(index, *event);
    EXPECT_EQ(event->count, 0u);
}

TEST_F(ZiApiTest, FlagsForcedOrSetByAMissingSignal) {
    struct Case {
        const char* Name;
        QByteArray Forced;
        bool OutputOn;
        uint32_t Expected;
    };
    const Case cases[] = {
        {"clean", "0", true, 0},
        {"forced 0x10", "0x10", true, 0x10},
        {"forced 0x48", "72", true, 0x48},
        {"output off", "0", false, 0x08},
    };
    for (const Case& c : cases) {
        Reset();
        SetSim("FLAGS", c.Forced);
        auto api = Connected();
        StartSignal(*api, 1000);
        api->SetNodeValue("/dev1234/imps/0/output/on", c.OutputOn ? 1 : 0);
        const int index = api->EventAdd();
        ASSERT_EQ(api->Subscribe(KSamplePath), 0);
        ASSERT_EQ(api->PollData(index, 2000), 0);
        auto event = std::make_unique<TZIEvent>();
        api->GetEvents(index, *event);
        TZIImpedanceSample s{};
        ImpedanceSampleOf(*event, s);
        EXPECT_EQ(s.flags, c.Expected) << c.Name;
    }
}

TEST_F(ZiApiTest, NoDataModeDeliversNothing) {
    SetSim("NODATA", "1");
    auto api = Connected();
    StartSignal(*api, 1000);
    const int index = api->EventAdd();
    ASSERT_EQ(api->Subscribe(KSamplePath), 0);
    EXPECT_EQ(api->GetValueAsPollData(KSamplePath), 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(api->PollData(index, 400), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(390));
    auto event = std::make_unique<TZIEvent>();
    event->count = 5;
    api->GetEvents(index, *event);
    EXPECT_EQ(event->count, 0u);
    EXPECT_EQ(event->value, nullptr);
    TZIImpedanceSample s{};
    s.realz = 42;
    ImpedanceSampleOf(*event, s);
    EXPECT_EQ(s.realz, 42);
}

TEST_F(ZiApiTest, SequenceGivesOneSamplePerWaitingPoll) {
    SetSim("SEQUENCE", "100,-1,0; 103,-2,0x10");
    auto api = Connected();
    StartSignal(*api, 1000);
    const int index = api->EventAdd();
    ASSERT_EQ(api->Subscribe(KSamplePath), 0);
    auto event = std::make_unique<TZIEvent>();
    const struct {
        double R, X;
        uint32_t Flags;
    } expected[] = {{100, -1, 0}, {103, -2, 0x10}, {103, -2, 0x10}};
    for (const auto& e : expected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ASSERT_EQ(api->PollData(index, 0), 0); // nothing piles up between polls
        api->GetEvents(index, *event);
        EXPECT_EQ(event->count, 0u);
        ASSERT_EQ(api->PollData(index, 1000), 0);
        api->GetEvents(index, *event);
        ASSERT_EQ(event->count, 1u);
        TZIImpedanceSample s{};
        ImpedanceSampleOf(*event, s);
        EXPECT_EQ(s.realz, e.R);
        EXPECT_EQ(s.imagz, e.X);
        EXPECT_EQ(s.flags, e.Flags);
        EXPECT_DOUBLE_EQ(s.frequency, 1000);
    }
}

TEST_F(ZiApiTest, ConfigFileOverridesTheEnvironmentAndIsReadAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ziapi-sim.ini");
    const auto write = [&](const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    write("# simulated analyser\nOPTIONS = IA\nflags=0x20\n");
    SetSim("CONFIG", path.toLocal8Bit());
    SetSim("OPTIONS", "F5M");
    auto api = Connected();
    EXPECT_FALSE(api->GetNodeValue<QString>("/dev1234/features/options").contains("F5M"));
    StartSignal(*api, 1000);
    const int index = api->EventAdd();
    ASSERT_EQ(api->Subscribe(KSamplePath), 0);
    auto event = std::make_unique<TZIEvent>();
    TZIImpedanceSample s{};
    ASSERT_EQ(api->PollData(index, 2000), 0);
    api->GetEvents(index, *event);
    ImpedanceSampleOf(*event, s);
    EXPECT_EQ(s.flags, 0x20u);
    write("flags=0\n");
    ASSERT_EQ(api->PollData(index, 2000), 0);
    api->GetEvents(index, *event);
    ImpedanceSampleOf(*event, s);
    EXPECT_EQ(s.flags, 0u);
}

TEST_F(ZiApiTest, ConfigFileBesideTheLibraryAtAChosenPath) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Utility"));
    const QString library = dir.filePath("Utility/libziAPI-linux64.so");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() +
                                "/Utility/libziAPI-linux64.so",
                            library));
    QFile config(dir.filePath("Utility/ziapi-sim.ini"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("HOST=mf-dev77\nPORT=8100\nOPTIONS=IA,F5M\n");
    config.close();
    TZIUtilities::SetLibraryPath(library);
    EXPECT_EQ(TZIUtilities::LibraryDisplayName(), library);
    TziAPI api(true);
    EXPECT_TRUE(api.Initialized());
    EXPECT_NE(api.ConnectEx(KHost, 8004, "ziAPI_Core", 6), 0);
    ASSERT_EQ(api.ConnectEx("mf-dev77", 8100, "ziAPI_Core", 6), 0);
    EXPECT_EQ(api.GetNodeValue<QString>("/dev77/features/options"), "IA\nF5M");
}

} // namespace
