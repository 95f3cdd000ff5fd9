#include "tavlosim/simlab.h"

#include "tavlo/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

double SimNowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

QByteArray ApplyFaults(const TSimFaults& faults, const QByteArray& reply, std::mt19937& random,
                       int& delayMs, qsizetype& splitAt) {
    delayMs = std::max(0, faults.LateMs);
    splitAt = 0;
    if (faults.NoAnswer || reply.isEmpty())
        return {};
    QByteArray data = reply;
    if (faults.Garbage) {
        static const char pool[] = "#%&?@~^|<>{}!qXzjW";
        std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof pool) - 2);
        qsizetype end = data.size();
        while (end > 0 && (data[end - 1] == '\r' || data[end - 1] == '\n'))
            --end;
        if (end == 0)
            end = data.size();
        for (qsizetype i = 0; i < end; ++i)
            data[i] = pool[pick(random)];
        data[0] = '#'; // never a number
    }
    if (faults.SplitGapMs > 0 && data.size() >= 2)
        splitAt = data.size() / 2;
    return data;
}

namespace {
int BaudOf(speed_t speed) {
    switch (speed) {
    case B300: return 300;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 0;
    }
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

struct TOutChunk {
    double StartMs;
    QByteArray Bytes;
};

class TLineImpl final : public TSimLine {
public:
    TLineImpl(TSimDevice* device, int fd, int slaveFd, QString name)
        : FDevice(device), FFd(fd), FSlaveFd(slaveFd), FName(std::move(name)) {}
    ~TLineImpl() override {
        if (FFd >= 0)
            ::close(FFd);
        if (FSlaveFd >= 0)
            ::close(FSlaveFd);
    }

    void Reply(const QByteArray& bytes, int extraDelayMs) override {
        int delay = 0;
        qsizetype splitAt = 0;
        const QByteArray data = ApplyFaults(FDevice->Faults, bytes, FDevice->Random, delay, splitAt);
        if (data.isEmpty())
            return;
        ReplyRaw(data, FDevice->LatencyMs() + extraDelayMs + delay, splitAt,
                 FDevice->Faults.SplitGapMs);
    }

    void ReplyRaw(const QByteArray& bytes, int delayMs, qsizetype splitAt, int gapMs) override {
        const double start = SimNowMs() + delayMs;
        if (splitAt > 0 && splitAt < bytes.size()) {
            Queue(start, bytes.left(splitAt));
            Queue(start + gapMs, bytes.mid(splitAt));
        } else {
            Queue(start, bytes);
        }
    }

    QString Name() const override { return FName; }

    int Fd() const { return FFd; }
    TSimDevice* Device() const { return FDevice; }
    bool HasOutput() const { return !FOut.empty(); }
    double NextOutputMs() const { return FOut.empty() ? 1e300 : FOut.front().StartMs; }

    // Bytes of the line per millisecond of transmission (0: unpaced).
    double ByteMs() const {
        if (FSlaveFd < 0)
            return 0;
        termios tio{};
        if (::tcgetattr(FSlaveFd, &tio) != 0)
            return 0;
        const int baud = BaudOf(cfgetospeed(&tio));
        return baud > 0 ? 10000.0 / baud : 0;
    }

    // Sends what is due; false when the connection is gone.
    bool Flush(double now) {
        const double byteMs = ByteMs();
        while (!FOut.empty()) {
            TOutChunk& chunk = FOut.front();
            if (now < chunk.StartMs)
                break;
            qsizetype allowed = chunk.Bytes.size();
            if (byteMs > 0)
                allowed = std::min<qsizetype>(
                    allowed, static_cast<qsizetype>((now - chunk.StartMs) / byteMs) + 1);
            const ssize_t n = FSlaveFd >= 0
                                  ? ::write(FFd, chunk.Bytes.constData(), static_cast<size_t>(allowed))
                                  : ::send(FFd, chunk.Bytes.constData(), static_cast<size_t>(allowed),
                                           MSG_NOSIGNAL);
            if (n < 0)
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            chunk.Bytes.remove(0, n);
            chunk.StartMs += static_cast<double>(n) * byteMs;
            if (!chunk.Bytes.isEmpty())
                break;
            const double end = chunk.StartMs;
            FOut.pop_front();
            if (!FOut.empty())
                FOut.front().StartMs = std::max(FOut.front().StartMs, end);
        }
        return true;
    }

private:
    void Queue(double start, const QByteArray& bytes) {
        if (!FOut.empty())
            start = std::max(start, FOut.back().StartMs);
        FOut.push_back({start, bytes});
    }

    TSimDevice* FDevice;
    int FFd;
    int FSlaveFd;
    QString FName;
    std::deque<TOutChunk> FOut;
};

struct TSerialEntry {
    QString Name;
    QString Path;     // the link the port is known by
    QString Terminal; // the pseudo-terminal behind it
    std::shared_ptr<TSimDevice> Device;
    std::unique_ptr<TLineImpl> Line;
};

struct TTcpEntry {
    QString Name;
    int ListenFd = -1;
    uint16_t Port = 0;
    std::shared_ptr<TSimDevice> Device;
    std::vector<std::unique_ptr<TLineImpl>> Connections;
};
} // namespace

struct TSimLab::TImpl {
    mutable std::recursive_mutex Mutex;
    // Ports are served under links of their own, so a removed port's path is gone at once
    // and never points at a terminal that the system hands out again.
    QTemporaryDir LinkFolder{QDir::tempPath() + QStringLiteral("/tavlo-sim-XXXXXX")};
    std::vector<TSerialEntry> Serial;
    std::vector<TTcpEntry> Tcp;
    std::thread Thread;
    std::atomic<bool> Stopping{false};
    int WakeRead = -1, WakeWrite = -1;

    void Wake() const {
        if (WakeWrite >= 0) {
            const char c = 1;
            [[maybe_unused]] const ssize_t n = ::write(WakeWrite, &c, 1);
        }
    }

    void Run();
};

TSimLab::TSimLab() : FImpl(std::make_unique<TImpl>()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        FImpl->WakeRead = fds[0];
        FImpl->WakeWrite = fds[1];
    }
}

TSimLab::~TSimLab() {
    Stop();
    std::lock_guard lock(FImpl->Mutex);
    for (TTcpEntry& t : FImpl->Tcp)
        if (t.ListenFd >= 0)
            ::close(t.ListenFd);
    FImpl->Serial.clear();
    FImpl->Tcp.clear();
    if (FImpl->WakeRead >= 0)
        ::close(FImpl->WakeRead);
    if (FImpl->WakeWrite >= 0)
        ::close(FImpl->WakeWrite);
}

QString TSimLab::AddSerialDevice(const QString& portName, std::shared_ptr<TSimDevice> device,
                                 QString* error) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty failed: ") + QString::fromLocal8Bit(strerror(errno));
        return {};
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    SetNonBlocking(master);
    // The lab keeps the terminal open so that its settings and queue survive between the
    // program's transactions, as a driver's do; raw so nothing is echoed or translated.
    termios tio{};
    ::tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    std::lock_guard lock(FImpl->Mutex);
    TSerialEntry entry;
    entry.Name = portName;
    entry.Terminal = QString::fromLocal8Bit(name);
    entry.Path = FImpl->LinkFolder.filePath(portName);
    QFile::remove(entry.Path);
    if (!FImpl->LinkFolder.isValid() || !QFile::link(entry.Terminal, entry.Path)) {
        if (error)
            *error = QStringLiteral("cannot create the link ") + entry.Path;
        ::close(master);
        ::close(slave);
        return {};
    }
    entry.Line = std::make_unique<TLineImpl>(device.get(), master, slave, portName);
    entry.Device = std::move(device);
    FImpl->Serial.push_back(std::move(entry));
    FImpl->Wake();
    return FImpl->Serial.back().Path;
}

uint16_t TSimLab::AddTcpDevice(const QString& name, std::shared_ptr<TSimDevice> device,
                               uint16_t port, QString* error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("socket failed");
        return 0;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (error)
            *error = QStringLiteral("cannot listen on 127.0.0.1:") + QString::number(port) +
                     QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        ::close(fd);
        return 0;
    }
    std::lock_guard lock(FImpl->Mutex);
    TTcpEntry entry;
    entry.Name = name;
    entry.ListenFd = fd;
    entry.Port = ntohs(addr.sin_port);
    entry.Device = std::move(device);
    FImpl->Tcp.push_back(std::move(entry));
    FImpl->Wake();
    return FImpl->Tcp.back().Port;
}

void TSimLab::RemovePort(const QString& portName) {
    std::lock_guard lock(FImpl->Mutex);
    std::erase_if(FImpl->Serial, [&](const TSerialEntry& e) {
        const bool match = e.Name.compare(portName, Qt::CaseInsensitive) == 0;
        if (match)
            QFile::remove(e.Path);
        return match;
    });
    FImpl->Wake();
}

void TSimLab::Start() {
    if (FImpl->Thread.joinable())
        return;
    FImpl->Stopping = false;
    FImpl->Thread = std::thread([this] { FImpl->Run(); });
}

void TSimLab::Stop() {
    if (!FImpl->Thread.joinable())
        return;
    FImpl->Stopping = true;
    FImpl->Wake();
    FImpl->Thread.join();
}

QString TSimLab::DevicePath(const QString& portName) const {
    std::lock_guard lock(FImpl->Mutex);
    for (const TSerialEntry& e : FImpl->Serial)
        if (e.Name.compare(portName, Qt::CaseInsensitive) == 0)
            return e.Path;
    return {};
}

std::vector<std::pair<QString, QString>> TSimLab::SerialPorts() const {
    std::lock_guard lock(FImpl->Mutex);
    std::vector<std::pair<QString, QString>> ports;
    for (const TSerialEntry& e : FImpl->Serial)
        ports.emplace_back(e.Name, e.Path);
    return ports;
}

bool TSimLab::WritePortMap(const QString& dataFolder, QString* error) const {
    const QString path = dataFolder + QStringLiteral("/Utility/ports.ini");
    if (!QDir().mkpath(dataFolder + QStringLiteral("/Utility"))) {
        if (error)
            *error = QStringLiteral("cannot create ") + dataFolder + QStringLiteral("/Utility");
        return false;
    }
    TIniFile ini;
    if (!ini.LoadFromFile(path, error))
        return false;
    for (const auto& [name, device] : SerialPorts())
        ini.WriteString(QStringLiteral("Ports"), name, device);
    return ini.SaveToFile(path, error);
}

QStringList TSimLab::Describe() const {
    std::lock_guard lock(FImpl->Mutex);
    QStringList lines;
    for (const TSerialEntry& e : FImpl->Serial) {
        lines.append(e.Name + QStringLiteral(" = ") + e.Path + QStringLiteral(" (") +
                     e.Terminal + QStringLiteral(")  ") + e.Device->Describe());
        for (const QString& d : e.Device->Details())
            lines.append(QStringLiteral("    ") + d);
    }
    for (const TTcpEntry& t : FImpl->Tcp) {
        lines.append(t.Name + QStringLiteral(" = 127.0.0.1:") + QString::number(t.Port) +
                     QStringLiteral("  ") + t.Device->Describe());
        for (const QString& d : t.Device->Details())
            lines.append(QStringLiteral("    ") + d);
    }
    return lines;
}

std::unique_lock<std::recursive_mutex> TSimLab::Lock() const {
    return std::unique_lock<std::recursive_mutex>(FImpl->Mutex);
}

void TSimLab::TImpl::Run() {
    constexpr int TickMs = 5;
    std::vector<pollfd> fds;
    while (!Stopping) {
        // Gather what to wait on.
        fds.clear();
        fds.push_back({WakeRead, POLLIN, 0});
        double next = SimNowMs() + TickMs;
        {
            std::lock_guard lock(Mutex);
            for (const TSerialEntry& e : Serial) {
                fds.push_back({e.Line->Fd(), POLLIN, 0});
                next = std::min(next, e.Line->NextOutputMs());
            }
            for (const TTcpEntry& t : Tcp) {
                fds.push_back({t.ListenFd, POLLIN, 0});
                for (const auto& c : t.Connections) {
                    fds.push_back({c->Fd(), POLLIN, 0});
                    next = std::min(next, c->NextOutputMs());
                }
            }
        }
        const int timeout = std::clamp(static_cast<int>(next - SimNowMs() + 0.999), 0, TickMs);
        ::poll(fds.data(), fds.size(), timeout);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(WakeRead, drain, sizeof drain) > 0) {
            }
        }

        std::lock_guard lock(Mutex);
        char buffer[4096];
        for (TSerialEntry& e : Serial) {
            for (;;) {
                const ssize_t n = ::read(e.Line->Fd(), buffer, sizeof buffer);
                if (n <= 0)
                    break;
                e.Device->Receive(*e.Line, QByteArray(buffer, n));
            }
            e.Device->Tick(*e.Line);
            e.Line->Flush(SimNowMs());
        }
        for (TTcpEntry& t : Tcp) {
            for (;;) {
                const int c = ::accept4(t.ListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (c < 0)
                    break;
                t.Connections.push_back(std::make_unique<TLineImpl>(
                    t.Device.get(), c, -1, t.Name));
            }
            for (auto it = t.Connections.begin(); it != t.Connections.end();) {
                TLineImpl& line = **it;
                bool alive = true;
                for (;;) {
                    const ssize_t n = ::recv(line.Fd(), buffer, sizeof buffer, 0);
                    if (n > 0) {
                        t.Device->Receive(line, QByteArray(buffer, n));
                        continue;
                    }
                    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                        alive = false;
                    break;
                }
                if (alive) {
                    t.Device->Tick(line);
                    alive = line.Flush(SimNowMs());
                }
                it = alive ? std::next(it) : t.Connections.erase(it);
            }
        }
    }
}
