#include "tavlosim/simgpib.h"

// ---- TSimScpiInstrument ----

void TSimScpiInstrument::Write(const QByteArray& bytes, bool eoi) {
    FInput += bytes;
    for (;;) {
        const qsizetype lf = FInput.indexOf('\n');
        QByteArray message;
        if (lf >= 0) {
            message = FInput.left(lf);
            FInput.remove(0, lf + 1);
        } else if (eoi && !FInput.isEmpty()) {
            message = FInput;
            FInput.clear();
        } else {
            break;
        }
        // A new message discards output nobody read (query interrupted).
        if (!FOutput.empty()) {
            FOutput.clear();
            PushError(-410, QStringLiteral("Query INTERRUPTED"));
        }
        for (const QByteArray& part : message.split(';')) {
            const QString command = QString::fromLatin1(part).trimmed();
            if (command.isEmpty())
                continue;
            Received.append(command);
            if (!Command(command))
                PushError(-113, QStringLiteral("Undefined header"));
        }
        eoi = false;
    }
}

std::optional<QByteArray> TSimScpiInstrument::Talk() {
    if (FOutput.empty() || FOutput.front().first > SimNowMs())
        return std::nullopt;
    QByteArray text = FOutput.front().second;
    FOutput.pop_front();
    return text;
}

uint8_t TSimScpiInstrument::StatusByte() {
    uint8_t status = 0;
    if (!FOutput.empty() && FOutput.front().first <= SimNowMs())
        status |= 0x10;
    if (!FErrors.empty())
        status |= 0x04;
    return status;
}

void TSimScpiInstrument::Clear() {
    FInput.clear();
    FOutput.clear();
}

void TSimScpiInstrument::Output(const QByteArray& text, double delayMs) {
    FOutput.emplace_back(SimNowMs() + delayMs, text + '\n');
}

void TSimScpiInstrument::PushError(int code, const QString& text) {
    if (FErrors.size() < 10)
        FErrors.push_back(QString::number(code) + QStringLiteral(",\"") + text + u'"');
}

QString TSimScpiInstrument::PopError() {
    if (FErrors.empty())
        return QStringLiteral("0,\"No error\"");
    QString e = FErrors.front();
    FErrors.pop_front();
    return e;
}

void TSimScpiInstrument::ClearStatus() {
    FErrors.clear();
    FOutput.clear();
}

// ---- TSimPrologix ----

TSimPrologix::TSimPrologix() { Random.seed(777); }

QString TSimPrologix::Describe() const { return QStringLiteral("Prologix GPIB-USB adapter"); }

QStringList TSimPrologix::Details() const {
    QStringList lines;
    for (const auto& [address, instrument] : FBus)
        lines.append(QStringLiteral("GPIB ") + QString::number(address) + QStringLiteral(": ") +
                     instrument->Describe());
    return lines;
}

void TSimPrologix::Plug(int address, std::shared_ptr<TSimGpibInstrument> instrument) {
    FBus[address] = std::move(instrument);
}

std::shared_ptr<TSimGpibInstrument> TSimPrologix::Instrument(int address) const {
    const auto it = FBus.find(address);
    return it == FBus.end() ? nullptr : it->second;
}

void TSimPrologix::Receive(TSimLine& line, const QByteArray& bytes) {
    RawInput += bytes;
    if (RawInput.size() > 65536)
        RawInput.remove(0, RawInput.size() - 65536);
    for (const char c : bytes) {
        if (FEscape) {
            FLine += c;
            FEscape = false;
        } else if (c == 27) {
            FEscape = true;
        } else if (c == '\r' || c == '\n') {
            if (!FLine.isEmpty()) {
                if (FReading)
                    FQueued.push_back(FLine);
                else
                    HandleLine(line, FLine);
            }
            FLine.clear();
        } else {
            FLine += c;
        }
    }
}

void TSimPrologix::Tick(TSimLine& line) {
    if (FReading && !FinishRead(line))
        return;
    while (!FReading && !FQueued.empty()) {
        const QByteArray next = FQueued.front();
        FQueued.pop_front();
        HandleLine(line, next);
    }
}

void TSimPrologix::HandleLine(TSimLine& line, const QByteArray& text) {
    Lines.append(text);
    if (text.startsWith("++")) {
        const QByteArray body = text.mid(2).trimmed();
        const qsizetype blank = body.indexOf(' ');
        const QByteArray command = (blank < 0 ? body : body.left(blank)).toLower();
        const QByteArray args = blank < 0 ? QByteArray() : body.mid(blank + 1).trimmed();
        HandleCommand(line, command, args);
        return;
    }
    if (Mode != 1)
        return;
    static const char* const terminators[] = {"\r\n", "\r", "\n", ""};
    if (const auto instrument = Instrument(Address)) {
        instrument->Write(text + terminators[Eos & 3], Eoi);
        if (Auto && text.contains('?'))
            StartRead(line);
    }
}

namespace {
bool ParseInt(const QByteArray& text, int low, int high, int& value) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    value = v;
    return true;
}

QByteArray Answer(int value) { return QByteArray::number(value) + "\r\n"; }
} // namespace

void TSimPrologix::HandleCommand(TSimLine& line, const QByteArray& command,
                                 const QByteArray& args) {
    int v = 0;
    auto setOrQuery = [&](int& field, int low, int high) {
        if (args.isEmpty())
            line.Reply(Answer(field));
        else if (ParseInt(args.split(' ').first(), low, high, v))
            field = v;
    };
    auto setOrQueryBool = [&](bool& field) {
        int value = field ? 1 : 0;
        setOrQuery(value, 0, 1);
        field = value != 0;
    };
    if (command == "addr") {
        setOrQuery(Address, 0, 30);
    } else if (command == "eos") {
        setOrQuery(Eos, 0, 3);
    } else if (command == "eoi") {
        setOrQueryBool(Eoi);
    } else if (command == "eot_enable") {
        setOrQueryBool(EotEnable);
    } else if (command == "eot_char") {
        setOrQuery(EotChar, 0, 255);
    } else if (command == "auto") {
        setOrQueryBool(Auto);
    } else if (command == "mode") {
        setOrQuery(Mode, 0, 1);
    } else if (command == "read_tmo_ms") {
        setOrQuery(ReadTimeoutMs, 1, 3000);
    } else if (command == "ver") {
        line.Reply(Version + "\r\n");
    } else if (command == "read") {
        if (Mode == 1)
            StartRead(line);
    } else if (command == "spoll") {
        int address = Address;
        if (!args.isEmpty() && !ParseInt(args.split(' ').first(), 0, 30, address))
            return;
        if (const auto instrument = Instrument(address))
            line.Reply(Answer(instrument->StatusByte()));
    } else if (command == "clr") {
        if (const auto instrument = Instrument(Address))
            instrument->Clear();
    } else if (command == "rst") {
        Address = 10;
        Eos = 0;
        Eoi = true;
        EotEnable = false;
        EotChar = 0;
        Auto = false;
        Mode = 1;
        ReadTimeoutMs = 500;
    } else if (command == "savecfg" || command == "ifc" || command == "loc" ||
               command == "llo" || command == "trg") {
        // accepted, nothing to simulate
    } else {
        line.Reply("Unrecognized command\r\n");
    }
}

void TSimPrologix::StartRead(TSimLine& line) {
    FReading = true;
    FReadAddress = Address;
    FReadDeadline = SimNowMs() + ReadTimeoutMs;
    FinishRead(line);
}

// Completes a read in progress when the instrument talks or the read times out; true when
// the read is over.
bool TSimPrologix::FinishRead(TSimLine& line) {
    const auto instrument = Instrument(FReadAddress);
    if (instrument) {
        if (std::optional<QByteArray> text = instrument->Talk()) {
            FReading = false;
            int delay = 0;
            qsizetype splitAt = 0;
            QByteArray data =
                ApplyFaults(instrument->Faults, *text, instrument->Random, delay, splitAt);
            if (data.isEmpty())
                return true;
            if (EotEnable)
                data += static_cast<char>(EotChar);
            if (splitAt > 0 && !Faults.NoAnswer)
                line.ReplyRaw(data, LatencyMs() + delay, splitAt, instrument->Faults.SplitGapMs);
            else
                line.Reply(data, delay); // the adapter's own faults on top
            return true;
        }
    }
    if (SimNowMs() >= FReadDeadline) {
        FReading = false; // the read timed out: nothing comes
        return true;
    }
    return false;
}
