#pragma once

// The C interface of the analyser's data-server client library as this program uses it:
// record layouts (64-bit) and the signatures of the entry points it calls. Shared by the
// binding and the simulated library; no Qt.

#include <cstddef>
#include <cstdint>

extern "C" {

// Opaque connection handle, filled by ziAPIInit.
typedef void* ZIConnection;
// 0 is success; other values are error codes.
typedef int ZIResult;

// One impedance sample, 80 bytes.
struct TZIImpedanceSample {
    uint64_t timeStamp;
    double realz;
    double imagz;
    double frequency;
    double phase;
    uint32_t flags;
    uint32_t trigger;
    double param0;
    double param1;
    double drive;
    double bias;
};

#define ZI_EVENT_DATA_SIZE 0x400000

// The event record filled by ziAPIPollDataEx. In the 64-bit layout the value pointer
// takes the 8 bytes at 264 that the 32-bit layout splits into pointer and padding.
struct TZIEvent {
    uint32_t valueType;
    uint32_t count;
    uint8_t path[256];
    void* value; // first value in data; null when the event carries nothing
    alignas(8) uint8_t data[ZI_EVENT_DATA_SIZE];
};

typedef ZIResult ZIInitFn(ZIConnection* conn);
typedef ZIResult ZIDestroyFn(ZIConnection conn);
typedef ZIResult ZIDisconnectFn(ZIConnection conn);
typedef ZIResult ZIConnectExFn(ZIConnection conn, const char* host, uint16_t port, int apiLevel,
                               const char* implementation);
typedef TZIEvent* ZIAllocateEventExFn(void);
typedef void ZIDeallocateEventExFn(TZIEvent* event);
typedef ZIResult ZIGetErrorFn(ZIResult result, const char** text, int* base);
typedef ZIResult ZIGetVersionFn(const char** version);
typedef ZIResult ZIGetValueDFn(ZIConnection conn, const char* path, double* value);
typedef ZIResult ZIGetValueIFn(ZIConnection conn, const char* path, int64_t* value);
// bufferSize counts elements of the buffer (bytes, or wchar_t units for the Unicode text).
typedef ZIResult ZIGetValueStringFn(ZIConnection conn, const char* path, char* buffer,
                                    unsigned int* length, unsigned int bufferSize);
typedef ZIResult ZIGetValueStringUnicodeFn(ZIConnection conn, const char* path, wchar_t* buffer,
                                           unsigned int* length, unsigned int bufferSize);
typedef ZIResult ZISetValueDFn(ZIConnection conn, const char* path, double value);
typedef ZIResult ZISetValueIFn(ZIConnection conn, const char* path, int64_t value);
typedef ZIResult ZISetValueStringFn(ZIConnection conn, const char* path, const char* value);
typedef ZIResult ZISetValueStringUnicodeFn(ZIConnection conn, const char* path,
                                           const wchar_t* value);
typedef ZIResult ZISubscribeFn(ZIConnection conn, const char* path);
typedef ZIResult ZIPollDataExFn(ZIConnection conn, TZIEvent* event, uint32_t timeoutMs);
typedef ZIResult ZIGetValueAsPollDataFn(ZIConnection conn, const char* path);

} // extern "C"

static_assert(sizeof(void*) == 8, "64-bit layout");
static_assert(sizeof(TZIImpedanceSample) == 80);
static_assert(offsetof(TZIImpedanceSample, timeStamp) == 0);
static_assert(offsetof(TZIImpedanceSample, realz) == 8);
static_assert(offsetof(TZIImpedanceSample, imagz) == 16);
static_assert(offsetof(TZIImpedanceSample, frequency) == 24);
static_assert(offsetof(TZIImpedanceSample, phase) == 32);
static_assert(offsetof(TZIImpedanceSample, flags) == 40);
static_assert(offsetof(TZIImpedanceSample, trigger) == 44);
static_assert(offsetof(TZIImpedanceSample, param0) == 48);
static_assert(offsetof(TZIImpedanceSample, param1) == 56);
static_assert(offsetof(TZIImpedanceSample, drive) == 64);
static_assert(offsetof(TZIImpedanceSample, bias) == 72);
static_assert(offsetof(TZIEvent, valueType) == 0);
static_assert(offsetof(TZIEvent, count) == 4);
static_assert(offsetof(TZIEvent, path) == 8);
static_assert(offsetof(TZIEvent, value) == 264);
static_assert(sizeof(TZIEvent::value) == 8);
static_assert(offsetof(TZIEvent, data) == 272);
static_assert(sizeof(TZIEvent) == 4194576);
