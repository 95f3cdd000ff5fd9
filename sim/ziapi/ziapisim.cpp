// Simulated analyser client library: a data server with one impedance analyser whose
// input is an RC sample (series resistance RS, then R parallel to C).
//
// Configuration: environment variables TAVLO_ZISIM_<KEY>, overridden by KEY=VALUE lines of
// the file named by TAVLO_ZISIM_CONFIG (default: ziapi-sim.ini beside this library); both
// are read again at every call that uses them, so a running program can be reconfigured.
//   HOST             accepted data-server host, case-insensitive (empty: any)   ""
//   PORT             accepted port                                               8004
//   CONNECT_FAILURES refuse this many connection attempts first (-1: all)        0
//   OPTIONS          option names for /features/options, separated by , or blanks "F5M,IA,MD"
//   R, C, RS         sample: ohm, farad, ohm                                    1000, 1e-7, 10
//   NOISE            relative noise (standard deviation, of |Z|)                0.001
//   SEED             noise seed (0: random)                                      0
//   FLAGS            flags forced onto every sample (e.g. 0x10)                 0
//   NODATA           1: the sample stream delivers nothing                      0
//   SEQUENCE         "R,X[,flags];R,X[,flags];..": samples given in this order (the
//                    last repeats), one per waiting poll, none accumulated between polls;
//                    an entry "-" lets its poll wait out its time-out with nothing
//   JOURNAL          file to which every accepted setting is appended as
//                    "path<TAB>i|d|s<TAB>value" (paths lower-case, device included)  ""

#include "tavlo/ziapidecl.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iomanip>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#define ZISIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

enum : int {
    SimOk = 0,
    SimGeneral = 0x8000,
    SimUnsupported = 0x8001,
    SimConnectionRefused = 0x8002,
    SimBadHandle = 0x8003,
    SimNotFound = 0x8004,
    SimLength = 0x8005,
    SimArgument = 0x8006,
    SimType = 0x8007,
    SimApiLevel = 0x8008,
    SimNotConnected = 0x8009,
    SimImplementation = 0x800A,
};

const char* ErrorText(int code) {
    switch (code) {
    case SimOk: return "Success";
    case SimGeneral: return "General error";
    case SimUnsupported: return "Function is not supported by the simulated library";
    case SimConnectionRefused: return "Connection to the data server refused";
    case SimBadHandle: return "Invalid connection handle";
    case SimNotFound: return "Node not found";
    case SimLength: return "Buffer too small";
    case SimArgument: return "Invalid argument";
    case SimType: return "Node value has another type";
    case SimApiLevel: return "API level not supported";
    case SimNotConnected: return "Not connected to a data server";
    case SimImplementation: return "Implementation not supported";
    default: return "Unknown error";
    }
}

// Value types of events (this library's own numbering).
enum : uint32_t { VtNone = 0, VtDouble = 1, VtInteger = 2, VtByteArray = 7, VtImpedance = 0x60 };

constexpr uint32_t FlagUnderflow = 0x08; // no test signal
constexpr double KMaxRate = 10000.0;
constexpr size_t KMaxQueued = ZI_EVENT_DATA_SIZE / sizeof(TZIImpedanceSample);
constexpr double KTicksPerSecond = 60e6;

struct TConfig {
    std::string Host;
    int Port = 8004;
    int ConnectFailures = 0;
    std::string Options = "F5M,IA,MD";
    double R = 1000.0, C = 1e-7, Rs = 10.0, Noise = 0.001;
    uint64_t Seed = 0;
    uint32_t Flags = 0;
    bool NoData = false;
    std::string Sequence;
    std::string Journal;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find_last_not_of(" \t\r\n") - a + 1);
}

void Apply(TConfig& c, const std::string& key, const std::string& value) {
    const auto number = [&](double fallback) {
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        return end != value.c_str() ? v : fallback;
    };
    const auto integer = [&](long long fallback) {
        char* end = nullptr;
        const long long v = std::strtoll(value.c_str(), &end, 0);
        return end != value.c_str() ? v : fallback;
    };
    if (key == "HOST") c.Host = value;
    else if (key == "PORT") c.Port = static_cast<int>(integer(c.Port));
    else if (key == "CONNECT_FAILURES") c.ConnectFailures = static_cast<int>(integer(0));
    else if (key == "OPTIONS") c.Options = value;
    else if (key == "R") c.R = number(c.R);
    else if (key == "C") c.C = number(c.C);
    else if (key == "RS") c.Rs = number(c.Rs);
    else if (key == "NOISE") c.Noise = number(c.Noise);
    else if (key == "SEED") c.Seed = static_cast<uint64_t>(integer(0));
    else if (key == "FLAGS") c.Flags = static_cast<uint32_t>(integer(0));
    else if (key == "NODATA") c.NoData = integer(0) != 0;
    else if (key == "SEQUENCE") c.Sequence = value;
    else if (key == "JOURNAL") c.Journal = value;
}

const char* const KKeys[] = {"HOST", "PORT", "CONNECT_FAILURES", "OPTIONS", "R", "C", "RS",
                             "NOISE", "SEED", "FLAGS", "NODATA", "SEQUENCE", "JOURNAL"};

std::string ConfigFile() {
    if (const char* file = std::getenv("TAVLO_ZISIM_CONFIG"))
        return file;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ConfigFile), &info) == 0 || !info.dli_fname)
        return std::string();
    const std::string library = info.dli_fname;
    const size_t slash = library.rfind('/');
    return (slash == std::string::npos ? std::string() : library.substr(0, slash + 1)) +
           "ziapi-sim.ini";
}

TConfig ReadConfig() {
    TConfig c;
    for (const char* key : KKeys)
        if (const char* v = std::getenv((std::string("TAVLO_ZISIM_") + key).c_str()))
            Apply(c, key, Trim(v));
    {
        std::ifstream in(ConfigFile());
        std::string line;
        while (std::getline(in, line)) {
            line = Trim(line);
            const size_t eq = line.find('=');
            if (line.empty() || line[0] == '#' || eq == std::string::npos)
                continue;
            std::string key = Trim(line.substr(0, eq));
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            Apply(c, key, Trim(line.substr(eq + 1)));
        }
    }
    return c;
}

std::string OptionsText(const std::string& options) {
    std::string text, word;
    std::istringstream in(options);
    while (in >> word) {
        std::istringstream parts(word);
        std::string part;
        while (std::getline(parts, part, ','))
            if (!part.empty())
                text += (text.empty() ? "" : "\n") + part;
    }
    return text;
}

struct TSequenceEntry {
    double R = 0, X = 0;
    uint32_t Flags = 0;
    bool Gap = false; // "-": that poll gets nothing
};

std::vector<TSequenceEntry> ParseSequence(const std::string& text) {
    std::vector<TSequenceEntry> entries;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ';')) {
        item = Trim(item);
        if (item.empty())
            continue;
        TSequenceEntry e;
        if (item == "-") {
            e.Gap = true;
            entries.push_back(e);
            continue;
        }
        std::istringstream fields(item);
        std::string f;
        int n = 0;
        while (std::getline(fields, f, ',')) {
            if (n == 0) e.R = std::strtod(f.c_str(), nullptr);
            else if (n == 1) e.X = std::strtod(f.c_str(), nullptr);
            else if (n == 2) e.Flags = static_cast<uint32_t>(std::strtoul(f.c_str(), nullptr, 0));
            ++n;
        }
        entries.push_back(e);
    }
    return entries;
}

using TValue = std::variant<int64_t, double, std::string>;

struct TNodeEvent {
    std::string Path;
    TValue Value;
};

struct TConnection {
    bool Connected = false;
    std::string Device; // "dev1234"
    int ApiLevel = 0;
    std::map<std::string, TValue> Nodes; // lower-case absolute paths
    std::set<std::string> Subscribed;
    std::deque<TNodeEvent> Pending;
    std::deque<TZIImpedanceSample> Samples;
    bool HaveLast = false;
    TZIImpedanceSample Last{};
    Clock::time_point Start = Clock::now();
    Clock::time_point NextSample = Clock::now();
    std::mt19937_64 Random{std::random_device{}()};
    uint64_t Seed = 0;
    std::string SequenceText;
    size_t SequencePos = 0;
};

std::mutex GMutex;
std::set<TConnection*> GConnections;
int GConnectAttempts = 0;
int GDebugLevel = 6;

TConnection* Find(ZIConnection handle) {
    auto* c = static_cast<TConnection*>(handle);
    return GConnections.count(c) ? c : nullptr;
}

std::string Prefix(const TConnection& c) { return "/" + c.Device; }
std::string SamplePath(const TConnection& c) { return Prefix(c) + "/imps/0/sample"; }

// Normalised path, or empty when it is not under the connected device.
std::string NodePath(const TConnection& c, const char* path) {
    if (!path)
        return std::string();
    std::string p = Lower(Trim(path));
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const std::string prefix = Prefix(c);
    if (p != prefix && p.rfind(prefix + "/", 0) != 0)
        return std::string();
    return p;
}

double Number(const TConnection& c, const std::string& relative, double fallback) {
    const auto it = c.Nodes.find(Prefix(c) + relative);
    if (it == c.Nodes.end())
        return fallback;
    if (const auto* d = std::get_if<double>(&it->second))
        return *d;
    if (const auto* i = std::get_if<int64_t>(&it->second))
        return static_cast<double>(*i);
    return fallback;
}

void SetDefaults(TConnection& c, const TConfig& config) {
    const std::string p = Prefix(c);
    c.Nodes.clear();
    c.Nodes[p + "/features/devtype"] = std::string("MFIA");
    c.Nodes[p + "/features/serial"] = c.Device;
    c.Nodes[p + "/features/options"] = OptionsText(config.Options);
    c.Nodes[p + "/imps/0/enable"] = int64_t(0);
    c.Nodes[p + "/imps/0/mode"] = int64_t(0);
    c.Nodes[p + "/imps/0/freq"] = 1000.0;
    c.Nodes[p + "/imps/0/output/on"] = int64_t(0);
    c.Nodes[p + "/imps/0/output/amplitude"] = 0.3;
    c.Nodes[p + "/imps/0/bias/enable"] = int64_t(0);
    c.Nodes[p + "/imps/0/bias/value"] = 0.0;
    c.Nodes[p + "/imps/0/auto/inputrange"] = int64_t(1);
    c.Nodes[p + "/imps/0/auto/output"] = int64_t(0);
    c.Nodes[p + "/imps/0/demod/rate"] = 10.0;
}

double MaxFrequency(const TConnection& c) {
    const auto it = c.Nodes.find(Prefix(c) + "/features/options");
    const auto* text = it == c.Nodes.end() ? nullptr : std::get_if<std::string>(&it->second);
    return text && text->find("F5M") != std::string::npos ? 5e6 : 5e5;
}

// Keeps instrument limits: the frequency stays within what the options allow.
TValue Limit(const TConnection& c, const std::string& path, TValue value) {
    if (path != Prefix(c) + "/imps/0/freq")
        return value;
    double f = std::holds_alternative<double>(value) ? std::get<double>(value)
               : std::holds_alternative<int64_t>(value)
                   ? static_cast<double>(std::get<int64_t>(value))
                   : 1000.0;
    f = std::isfinite(f) ? std::clamp(f, 1e-3, MaxFrequency(c)) : 1000.0;
    return f;
}

double Period(const TConnection& c) {
    double rate = Number(c, "/imps/0/demod/rate", 10.0);
    if (!std::isfinite(rate) || rate <= 0)
        rate = 10.0;
    return 1.0 / std::min(rate, KMaxRate);
}

bool Streaming(const TConnection& c) {
    const std::string sample = SamplePath(c);
    for (const std::string& s : c.Subscribed)
        if (sample == s || sample.rfind(s + "/", 0) == 0 || s == "/")
            return true;
    return false;
}

bool ModuleOn(const TConnection& c) { return Number(c, "/imps/0/enable", 0) != 0; }

void Reseed(TConnection& c, const TConfig& config) {
    if (config.Seed != 0 && config.Seed != c.Seed) {
        c.Random.seed(config.Seed);
        c.Seed = config.Seed;
    }
}

TZIImpedanceSample MakeSample(TConnection& c, const TConfig& config, Clock::time_point at,
                              const TSequenceEntry* entry) {
    TZIImpedanceSample s{};
    const double f = Number(c, "/imps/0/freq", 1000.0);
    const bool driven = Number(c, "/imps/0/output/on", 0) != 0 &&
                        Number(c, "/imps/0/output/amplitude", 0) > 0;
    std::complex<double> z;
    if (entry) {
        z = {entry->R, entry->X};
        s.flags = entry->Flags;
    } else {
        const double w = 2 * M_PI * f;
        z = config.Rs + config.R / (1.0 + std::complex<double>(0, w * config.R * config.C));
        const double noise = driven ? config.Noise : 0.5;
        std::normal_distribution<double> g(0.0, 1.0);
        const double scale = std::abs(z) * std::max(noise, 0.0);
        z += std::complex<double>(scale * g(c.Random), scale * g(c.Random));
    }
    if (!driven)
        s.flags |= FlagUnderflow;
    s.flags |= config.Flags;
    s.timeStamp = static_cast<uint64_t>(
        std::chrono::duration<double>(at - c.Start).count() * KTicksPerSecond);
    s.realz = z.real();
    s.imagz = z.imag();
    s.frequency = f;
    s.phase = std::arg(z);
    s.param0 = std::abs(z);
    s.param1 = s.phase * 180.0 / M_PI;
    s.drive = Number(c, "/imps/0/output/amplitude", 0);
    s.bias = Number(c, "/imps/0/bias/enable", 0) != 0 ? Number(c, "/imps/0/bias/value", 0) : 0;
    return s;
}

void Keep(TConnection& c, const TZIImpedanceSample& s) {
    c.Samples.push_back(s);
    if (c.Samples.size() > KMaxQueued)
        c.Samples.pop_front();
    c.Last = s;
    c.HaveLast = true;
}

// Continuous stream: every sample due since the last call.
void Generate(TConnection& c, const TConfig& config) {
    const Clock::time_point now = Clock::now();
    if (!Streaming(c) || !config.Sequence.empty()) {
        c.NextSample = now;
        return;
    }
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(Period(c)));
    if (c.NextSample > now)
        return;
    const auto due = static_cast<size_t>((now - c.NextSample) / period) + 1;
    if (due > KMaxQueued)
        c.NextSample += period * static_cast<Clock::rep>(due - KMaxQueued);
    Reseed(c, config);
    for (; c.NextSample <= now; c.NextSample += period)
        if (ModuleOn(c) && !config.NoData)
            Keep(c, MakeSample(c, config, c.NextSample, nullptr));
}

void Clear(TZIEvent* e) {
    e->valueType = VtNone;
    e->count = 0;
    e->path[0] = 0;
    e->value = nullptr;
}

void FillPath(TZIEvent* e, const std::string& path) {
    const size_t n = std::min(path.size(), sizeof e->path - 1);
    std::memcpy(e->path, path.data(), n);
    e->path[n] = 0;
}

void Deliver(TZIEvent* e, const TNodeEvent& node) {
    FillPath(e, node.Path);
    e->value = e->data;
    if (const auto* i = std::get_if<int64_t>(&node.Value)) {
        e->valueType = VtInteger;
        e->count = 1;
        std::memcpy(e->data, i, sizeof *i);
    } else if (const auto* d = std::get_if<double>(&node.Value)) {
        e->valueType = VtDouble;
        e->count = 1;
        std::memcpy(e->data, d, sizeof *d);
    } else {
        const std::string& text = std::get<std::string>(node.Value);
        const size_t n = std::min(text.size(), size_t(ZI_EVENT_DATA_SIZE));
        e->valueType = VtByteArray;
        e->count = static_cast<uint32_t>(n);
        std::memcpy(e->data, text.data(), n);
    }
}

void Deliver(TZIEvent* e, TConnection& c) {
    const size_t n = std::min(c.Samples.size(), KMaxQueued);
    e->valueType = VtImpedance;
    e->count = static_cast<uint32_t>(n);
    FillPath(e, SamplePath(c));
    e->value = e->data;
    for (size_t i = 0; i < n; ++i) {
        std::memcpy(e->data + i * sizeof(TZIImpedanceSample), &c.Samples.front(),
                    sizeof(TZIImpedanceSample));
        c.Samples.pop_front();
    }
}

// Connected connection for a handle, or the error code.
int Use(ZIConnection handle, TConnection*& c) {
    c = Find(handle);
    if (!c)
        return SimBadHandle;
    return c->Connected ? SimOk : SimNotConnected;
}

int SetValue(ZIConnection conn, const char* path, TValue value) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    const std::string p = NodePath(*c, path);
    if (p.empty() || p == SamplePath(*c))
        return SimNotFound;
    const TConfig config = ReadConfig();
    Generate(*c, config); // samples before the change keep the old setting
    if (!config.Journal.empty()) {
        std::ofstream journal(config.Journal, std::ios::app);
        journal << p << '\t';
        if (const auto* i = std::get_if<int64_t>(&value))
            journal << "i\t" << *i;
        else if (const auto* d = std::get_if<double>(&value))
            journal << "d\t" << std::setprecision(17) << *d;
        else
            journal << "s\t" << std::get<std::string>(value);
        journal << '\n';
    }
    c->Nodes[p] = Limit(*c, p, std::move(value));
    return SimOk;
}

int GetValue(ZIConnection conn, const char* path, TValue& value) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    const std::string p = NodePath(*c, path);
    const auto it = c->Nodes.find(p);
    if (p.empty() || it == c->Nodes.end())
        return SimNotFound;
    value = it->second;
    return SimOk;
}

int ToDouble(const TValue& v, double& out) {
    if (const auto* d = std::get_if<double>(&v)) out = *d;
    else if (const auto* i = std::get_if<int64_t>(&v)) out = static_cast<double>(*i);
    else return SimType;
    return SimOk;
}

int ToInteger(const TValue& v, int64_t& out) {
    if (const auto* i = std::get_if<int64_t>(&v)) out = *i;
    else if (const auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d) || std::fabs(*d) > 9.2e18)
            return SimType;
        out = std::llround(*d);
    } else return SimType;
    return SimOk;
}

std::string ToText(const TValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    std::ostringstream out;
    if (const auto* i = std::get_if<int64_t>(&v)) out << *i;
    else out << std::get<double>(v);
    return out.str();
}

// UTF-8 <-> wchar_t (UTF-32 code points).
std::wstring Widen(const std::string& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
        uint32_t cp = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        for (int k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(static_cast<wchar_t>(cp));
        i += n;
    }
    return out;
}

std::string Narrow(const wchar_t* w) {
    std::string out;
    for (; *w; ++w) {
        const uint32_t cp = static_cast<uint32_t>(*w);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace

// ---- connection

ZISIM_EXPORT ZIResult ziAPIInit(ZIConnection* conn) {
    if (!conn)
        return SimArgument;
    std::lock_guard lock(GMutex);
    auto* c = new TConnection;
    GConnections.insert(c);
    *conn = c;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIDestroy(ZIConnection conn) {
    std::lock_guard lock(GMutex);
    TConnection* c = Find(conn);
    if (!c)
        return SimBadHandle;
    GConnections.erase(c);
    delete c;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIConnectEx(ZIConnection conn, const char* host, uint16_t port,
                                     int apiLevel, const char* implementation) {
    std::lock_guard lock(GMutex);
    TConnection* c = Find(conn);
    if (!c)
        return SimBadHandle;
    if (!host || !*host)
        return SimArgument;
    if (implementation && *implementation && std::string(implementation) != "ziAPI_Core")
        return SimImplementation;
    if (apiLevel < 0 || apiLevel > 6)
        return SimApiLevel;
    const TConfig config = ReadConfig();
    const int attempt = GConnectAttempts++;
    if (config.ConnectFailures < 0 || attempt < config.ConnectFailures)
        return SimConnectionRefused;
    if (port != config.Port || (!config.Host.empty() && Lower(config.Host) != Lower(host)))
        return SimConnectionRefused;
    const std::string name = Lower(host);
    const size_t dash = name.find('-');
    c->Device = dash == std::string::npos ? name : name.substr(dash + 1);
    if (c->Device.empty() || c->Device.find('/') != std::string::npos)
        return SimConnectionRefused;
    c->ApiLevel = apiLevel == 0 ? 1 : apiLevel;
    c->Connected = true;
    c->Subscribed.clear();
    c->Pending.clear();
    c->Samples.clear();
    c->HaveLast = false;
    c->Start = Clock::now();
    SetDefaults(*c, config);
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIConnect(ZIConnection conn, const char* host, uint16_t port) {
    return ziAPIConnectEx(conn, host, port, 1, nullptr);
}

ZISIM_EXPORT ZIResult ziAPIDisconnect(ZIConnection conn) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    c->Connected = false;
    c->Subscribed.clear();
    c->Pending.clear();
    c->Samples.clear();
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetConnectionAPILevel(ZIConnection conn, int* level) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    if (!level)
        return SimArgument;
    *level = c->ApiLevel;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIListImplementations(char* buffer, unsigned int bufferSize) {
    static const char KText[] = "ziAPI_Core";
    if (!buffer || bufferSize < sizeof KText)
        return SimLength;
    std::memcpy(buffer, KText, sizeof KText);
    return SimOk;
}

// ---- information

ZISIM_EXPORT ZIResult ziAPIGetVersion(const char** version) {
    if (!version)
        return SimArgument;
    *version = "Tavlo simulated ziAPI 1.0";
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetRevision(unsigned int* revision) {
    if (!revision)
        return SimArgument;
    *revision = 1;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetError(ZIResult result, const char** text, int* base) {
    if (!text)
        return SimArgument;
    *text = ErrorText(result);
    if (base)
        *base = result & 0xF000;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetLastError(ZIConnection conn, char* buffer, unsigned int size) {
    if (!buffer || size == 0)
        return SimLength;
    buffer[0] = 0;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPISetDebugLevel(int level) {
    GDebugLevel = level;
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIWriteDebugLog(int severity, const char* message) { return SimOk; }

// ---- events

ZISIM_EXPORT TZIEvent* ziAPIAllocateEventEx(void) {
    return static_cast<TZIEvent*>(std::calloc(1, sizeof(TZIEvent)));
}

ZISIM_EXPORT void ziAPIDeallocateEventEx(TZIEvent* event) { std::free(event); }

// ---- node values

ZISIM_EXPORT ZIResult ziAPISetValueD(ZIConnection conn, const char* path, double value) {
    return SetValue(conn, path, value);
}

ZISIM_EXPORT ZIResult ziAPISetValueI(ZIConnection conn, const char* path, int64_t value) {
    return SetValue(conn, path, value);
}

ZISIM_EXPORT ZIResult ziAPISetValueString(ZIConnection conn, const char* path,
                                          const char* value) {
    return value ? SetValue(conn, path, std::string(value)) : SimArgument;
}

ZISIM_EXPORT ZIResult ziAPISetValueStringUnicode(ZIConnection conn, const char* path,
                                                 const wchar_t* value) {
    return value ? SetValue(conn, path, Narrow(value)) : SimArgument;
}

ZISIM_EXPORT ZIResult ziAPISetValueB(ZIConnection conn, const char* path,
                                     const unsigned char* bytes, unsigned int length) {
    return bytes || !length
               ? SetValue(conn, path, std::string(reinterpret_cast<const char*>(bytes), length))
               : SimArgument;
}

ZISIM_EXPORT ZIResult ziAPISyncSetValueD(ZIConnection conn, const char* path, double* value) {
    if (!value)
        return SimArgument;
    const int r = SetValue(conn, path, *value);
    TValue v;
    if (r == SimOk && GetValue(conn, path, v) == SimOk)
        ToDouble(v, *value);
    return r;
}

ZISIM_EXPORT ZIResult ziAPISyncSetValueI(ZIConnection conn, const char* path, int64_t* value) {
    if (!value)
        return SimArgument;
    const int r = SetValue(conn, path, *value);
    TValue v;
    if (r == SimOk && GetValue(conn, path, v) == SimOk)
        ToInteger(v, *value);
    return r;
}

ZISIM_EXPORT ZIResult ziAPISync(ZIConnection conn) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    return Use(conn, c);
}

ZISIM_EXPORT ZIResult ziAPIGetValueD(ZIConnection conn, const char* path, double* value) {
    if (!value)
        return SimArgument;
    TValue v;
    const int r = GetValue(conn, path, v);
    return r ? r : ToDouble(v, *value);
}

ZISIM_EXPORT ZIResult ziAPIGetValueI(ZIConnection conn, const char* path, int64_t* value) {
    if (!value)
        return SimArgument;
    TValue v;
    const int r = GetValue(conn, path, v);
    return r ? r : ToInteger(v, *value);
}

ZISIM_EXPORT ZIResult ziAPIGetValueString(ZIConnection conn, const char* path, char* buffer,
                                          unsigned int* length, unsigned int bufferSize) {
    if (!buffer || bufferSize == 0)
        return SimArgument;
    TValue v;
    if (int r = GetValue(conn, path, v))
        return r;
    const std::string text = ToText(v);
    if (text.size() + 1 > bufferSize)
        return SimLength;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    if (length)
        *length = static_cast<unsigned int>(text.size());
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetValueStringUnicode(ZIConnection conn, const char* path,
                                                 wchar_t* buffer, unsigned int* length,
                                                 unsigned int bufferSize) {
    if (!buffer || bufferSize == 0)
        return SimArgument;
    TValue v;
    if (int r = GetValue(conn, path, v))
        return r;
    const std::wstring text = Widen(ToText(v));
    if (text.size() + 1 > bufferSize)
        return SimLength;
    std::wmemcpy(buffer, text.c_str(), text.size() + 1);
    if (length)
        *length = static_cast<unsigned int>(text.size());
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetValueB(ZIConnection conn, const char* path, unsigned char* buffer,
                                     unsigned int* length, unsigned int bufferSize) {
    if (!buffer)
        return SimArgument;
    TValue v;
    if (int r = GetValue(conn, path, v))
        return r;
    const std::string bytes = ToText(v);
    if (bytes.size() > bufferSize)
        return SimLength;
    std::memcpy(buffer, bytes.data(), bytes.size());
    if (length)
        *length = static_cast<unsigned int>(bytes.size());
    return SimOk;
}

// ---- data stream

#ifndef ZISIM_LACK_SUBSCRIBE
ZISIM_EXPORT ZIResult ziAPISubscribe(ZIConnection conn, const char* path) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    const std::string p = Lower(Trim(path ? path : "")) == "/" ? "/" : NodePath(*c, path);
    if (p.empty())
        return SimNotFound;
    const bool before = Streaming(*c);
    c->Subscribed.insert(p);
    if (!before && Streaming(*c)) {
        c->Samples.clear();
        c->NextSample = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(Period(*c)));
    }
    return SimOk;
}
#endif

ZISIM_EXPORT ZIResult ziAPIUnSubscribe(ZIConnection conn, const char* path) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    const std::string p = Lower(Trim(path ? path : "")) == "/" ? "/" : NodePath(*c, path);
    if (p.empty())
        return SimNotFound;
    Generate(*c, ReadConfig());
    if (p == "/")
        c->Subscribed.clear();
    else
        std::erase_if(c->Subscribed, [&](const std::string& s) {
            return s == p || s.rfind(p + "/", 0) == 0;
        });
    if (!Streaming(*c))
        c->Samples.clear();
    return SimOk;
}

ZISIM_EXPORT ZIResult ziAPIGetValueAsPollData(ZIConnection conn, const char* path) {
    std::lock_guard lock(GMutex);
    TConnection* c = nullptr;
    if (int r = Use(conn, c))
        return r;
    const std::string trimmed = Lower(Trim(path ? path : ""));
    const std::string p = trimmed == "/" ? Prefix(*c) : NodePath(*c, path);
    if (p.empty())
        return SimNotFound;
    const TConfig config = ReadConfig();
    Generate(*c, config);
    bool any = false;
    for (const auto& [node, value] : c->Nodes)
        if (node == p || node.rfind(p + "/", 0) == 0) {
            c->Pending.push_back({node, value});
            any = true;
        }
    const std::string sample = SamplePath(*c);
    if (sample == p || sample.rfind(p + "/", 0) == 0) {
        if (c->HaveLast && !config.NoData)
            c->Samples.push_front(c->Last);
        any = true;
    }
    return any ? SimOk : SimNotFound;
}

ZISIM_EXPORT ZIResult ziAPIPollDataEx(ZIConnection conn, TZIEvent* event, uint32_t timeoutMs) {
    if (!event)
        return SimArgument;
    Clear(event);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<Clock::time_point> sequenceDue;
    std::unique_lock lock(GMutex);
    for (;;) {
        TConnection* c = nullptr;
        if (int r = Use(conn, c))
            return r;
        const TConfig config = ReadConfig();
        Generate(*c, config);
        if (!c->Pending.empty()) {
            Deliver(event, c->Pending.front());
            c->Pending.pop_front();
            return SimOk;
        }
        if (!c->Samples.empty()) {
            Deliver(event, *c);
            return SimOk;
        }
        const Clock::time_point now = Clock::now();
        const bool sequence = !config.Sequence.empty() && Streaming(*c) && ModuleOn(*c) &&
                              !config.NoData;
        if (sequence && !sequenceDue)
            sequenceDue = now + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(Period(*c)));
        if (sequence && *sequenceDue <= deadline && now >= *sequenceDue) {
            if (config.Sequence != c->SequenceText) {
                c->SequenceText = config.Sequence;
                c->SequencePos = 0;
            }
            const std::vector<TSequenceEntry> entries = ParseSequence(config.Sequence);
            if (!entries.empty()) {
                const TSequenceEntry& e = entries[std::min(c->SequencePos, entries.size() - 1)];
                ++c->SequencePos;
                if (e.Gap) {
                    lock.unlock();
                    std::this_thread::sleep_until(deadline);
                    return SimOk;
                }
                Keep(*c, MakeSample(*c, config, now, &e));
                Deliver(event, *c);
                return SimOk;
            }
        }
        if (now >= deadline)
            return SimOk; // nothing within the time-out
        Clock::time_point wake = deadline;
        if (sequence)
            wake = std::min(wake, *sequenceDue);
        else if (Streaming(*c) && ModuleOn(*c) && !config.NoData)
            wake = std::min(wake, c->NextSample);
        wake = std::min(wake, now + std::chrono::milliseconds(50));
        lock.unlock();
        std::this_thread::sleep_until(wake);
        lock.lock();
    }
}

// ---- entry points this library does not offer

#define ZISIM_UNSUPPORTED(name) \
    ZISIM_EXPORT ZIResult name(...) { return SimUnsupported; }

ZISIM_UNSUPPORTED(ziAPIListNodes)
ZISIM_UNSUPPORTED(ziAPIListNodesJSON)
ZISIM_UNSUPPORTED(ziAPIUpdateDevices)
ZISIM_UNSUPPORTED(ziAPIConnectDevice)
ZISIM_UNSUPPORTED(ziAPIDisconnectDevice)
ZISIM_UNSUPPORTED(ziAPIGetComplexData)
ZISIM_UNSUPPORTED(ziAPIGetDemodSample)
ZISIM_UNSUPPORTED(ziAPIGetDIOSample)
ZISIM_UNSUPPORTED(ziAPIGetAuxInSample)
ZISIM_UNSUPPORTED(ziAPISetComplexData)
ZISIM_UNSUPPORTED(ziAPISyncSetValueB)
ZISIM_UNSUPPORTED(ziAPISyncSetValueString)
ZISIM_UNSUPPORTED(ziAPISyncSetValueStringUnicode)
ZISIM_UNSUPPORTED(ziAPIEchoDevice)
ZISIM_UNSUPPORTED(ReadMEMFile)
ZISIM_UNSUPPORTED(ziAPIModCreate)
ZISIM_UNSUPPORTED(ziAPIModSetDoubleData)
ZISIM_UNSUPPORTED(ziAPIModSetIntegerData)
ZISIM_UNSUPPORTED(ziAPIModSetByteArray)
ZISIM_UNSUPPORTED(ziAPIModSetString)
ZISIM_UNSUPPORTED(ziAPIModSetStringUnicode)
ZISIM_UNSUPPORTED(ziAPIModSetVector)
ZISIM_UNSUPPORTED(ziAPIModGetInteger)
ZISIM_UNSUPPORTED(ziAPIModGetDouble)
ZISIM_UNSUPPORTED(ziAPIModGetString)
ZISIM_UNSUPPORTED(ziAPIModGetStringUnicode)
ZISIM_UNSUPPORTED(ziAPIModGetVector)
ZISIM_UNSUPPORTED(ziAPIModListNodes)
ZISIM_UNSUPPORTED(ziAPIModListNodesJSON)
ZISIM_UNSUPPORTED(ziAPIModSubscribe)
ZISIM_UNSUPPORTED(ziAPIModUnSubscribe)
ZISIM_UNSUPPORTED(ziAPIModExecute)
ZISIM_UNSUPPORTED(ziAPIModTrigger)
ZISIM_UNSUPPORTED(ziAPIModProgress)
ZISIM_UNSUPPORTED(ziAPIModFinished)
ZISIM_UNSUPPORTED(ziAPIModFinish)
ZISIM_UNSUPPORTED(ziAPIModSave)
ZISIM_UNSUPPORTED(ziAPIModRead)
ZISIM_UNSUPPORTED(ziAPIModNextNode)
ZISIM_UNSUPPORTED(ziAPIModGetChunk)
ZISIM_UNSUPPORTED(ziAPIModEventDeallocate)
ZISIM_UNSUPPORTED(ziAPIModClear)
ZISIM_UNSUPPORTED(ziAPISetVector)
ZISIM_UNSUPPORTED(ziAPIDiscoveryFindAll)
ZISIM_UNSUPPORTED(ziAPIDiscoveryFind)
ZISIM_UNSUPPORTED(ziAPIDiscoveryGet)
ZISIM_UNSUPPORTED(ziAPIDiscoveryGetValueI)
ZISIM_UNSUPPORTED(ziAPIDiscoveryGetValueS)
