#pragma once

#include "tavlosim/simlab.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <optional>

// An instrument on the simulated GPIB bus behind an adapter.
class TSimGpibInstrument {
public:
    virtual ~TSimGpibInstrument() = default;
    virtual QString Describe() const = 0;
    // Bytes addressed to the instrument; eoi: EOI came with the last byte.
    virtual void Write(const QByteArray& bytes, bool eoi) = 0;
    // The message the instrument has ready to talk (removed from its output), if any.
    virtual std::optional<QByteArray> Talk() = 0;
    // The serial-poll status byte.
    virtual uint8_t StatusByte() = 0;
    // Selected device clear.
    virtual void Clear() = 0;

    // Misbehaviour of the instrument's answers (applied by the adapter).
    TSimFaults Faults;
    std::mt19937 Random{4711};
};

// An IEEE 488.2 style instrument: input split into messages (at LF or EOI) and commands
// (at ';'), an output queue whose message becomes ready at a given time, an error queue,
// and a status byte with MAV (0x10) and EAV (0x04).
class TSimScpiInstrument : public TSimGpibInstrument {
public:
    void Write(const QByteArray& bytes, bool eoi) override;
    std::optional<QByteArray> Talk() override;
    uint8_t StatusByte() override;
    void Clear() override;

    // The commands received, in order (upper case as given, trimmed).
    QStringList Received;

protected:
    // One command (trimmed, never empty). Returns false for an unknown command.
    virtual bool Command(const QString& command) = 0;
    // Puts a reply in the output queue, ready delayMs from now ("\n" is appended).
    void Output(const QByteArray& text, double delayMs = 0);
    void PushError(int code, const QString& text);
    QString PopError();
    void ClearStatus();

private:
    QByteArray FInput;
    std::deque<std::pair<double, QByteArray>> FOutput;
    std::deque<QString> FErrors;
};

// The Prologix GPIB-USB adapter as far as the program relies on it: "++" commands, lines
// passed to the addressed instrument with the "++eos" terminator, explicit reads with
// "++read", serial polls.
class TSimPrologix : public TSimDevice {
public:
    TSimPrologix();
    QString Describe() const override;
    QStringList Details() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;
    void Tick(TSimLine& line) override;

    void Plug(int address, std::shared_ptr<TSimGpibInstrument> instrument);
    std::shared_ptr<TSimGpibInstrument> Instrument(int address) const;

    // Every line received (commands with "++"), in order, and the bytes as they came (the
    // last 64 KiB).
    QList<QByteArray> Lines;
    QByteArray RawInput;
    // The adapter's state.
    int Address = 10;
    int Eos = 0;
    bool Eoi = true;
    bool EotEnable = false;
    int EotChar = 0;
    bool Auto = false;
    int Mode = 1;
    int ReadTimeoutMs = 500;
    QByteArray Version = "Prologix GPIB-USB Controller version 6.107";

private:
    void HandleLine(TSimLine& line, const QByteArray& text);
    void HandleCommand(TSimLine& line, const QByteArray& command, const QByteArray& args);
    void StartRead(TSimLine& line);
    bool FinishRead(TSimLine& line);

    std::map<int, std::shared_ptr<TSimGpibInstrument>> FBus;
    QByteArray FLine;
    bool FEscape = false;
    std::deque<QByteArray> FQueued; // lines that came while a read was in progress
    bool FReading = false;
    int FReadAddress = 0;
    double FReadDeadline = 0;
};
