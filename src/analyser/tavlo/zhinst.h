#pragma once

// The impedance analyser driver: one connection to the analyser's data server, its neutral
// start state and its frequency range. The readings that use it are the instruments'.

#include "tavlo/ziapi.h"

#include <QString>

#include <memory>

class TZHInst {
public:
    static constexpr int DefaultMaxFrequency = 500000;
    static constexpr int OptionMaxFrequency = 5000000; // with the option "F5M"

    // The library is loaded, not initialised.
    TZHInst();
    // Disconnects; the connection object then de-initialises and frees the library.
    ~TZHInst();
    TZHInst(const TZHInst&) = delete;
    TZHInst& operator=(const TZHInst&) = delete;

    // Initialises the library: true when it answered 0. A library that is missing gives
    // false; its message is kept in LastError.
    bool APIWorks();
    QString APIVersion();
    // Connects to Serial at Port with both notices to the user; sets DeviceID on success.
    bool Connect();
    // The neutral start state (18 settings) and the frequency range from the options.
    void InitMFIA();

    int MaxFrequency() const { return fMaxFrequency; }
    TziAPI& API() { return *FAPI; }
    // Why APIWorks or Connect failed, when no library code tells it.
    QString LastError() const { return FLastError; }

    QString DeviceID; // "/" + the part of Serial after its first "-"
    QString Serial;   // the data server host, mf-devNNNN
    QString Port;     // the data server port, decimal

private:
    int fMaxFrequency = DefaultMaxFrequency;
    std::unique_ptr<TziAPI> FAPI;
    QString FLastError;
};

// The program's one analyser object; null until a validation has created it.
TZHInst* MFIAObject();
// Installs a new object (validation), destroying the one before; null destroys it.
void ReplaceMFIAObject(std::unique_ptr<TZHInst> object);
