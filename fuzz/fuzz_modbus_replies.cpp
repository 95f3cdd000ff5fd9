// Modbus replies of any length and content, and flow-server answer lines. The first byte
// picks the request's address and function; the rest is what came back.
#include "tavlo/flowserver.h"
#include "tavlo/modbus.h"
#include "tavlo/numformat.h"
#include "tavlo/voegtlinport.h"

#include <cmath>
#include <cstdlib>

namespace {
const QByteArray KnownStatus[] = {
    ModbusStatus::WrongAmount, ModbusStatus::NoResult, ModbusStatus::BadCrc,
    ModbusStatus::ForeignReply, QByteArray(),
};

void CheckStatus(const QByteArray& status) {
    for (const QByteArray& known : KnownStatus)
        if (status == known)
            return;
    if (!status.startsWith(ModbusStatus::ExceptionPrefix))
        std::abort();
}

TSerialResponse Reply(const uint8_t* data, size_t size) {
    TSerialResponse r;
    const size_t n = size > 256 ? 256 : size;
    for (size_t i = 0; i < n; ++i)
        r.rArray[i] = data[i];
    r.Response = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(n));
    r.ResponseLength = static_cast<uint8_t>(size & 0xFF);
    r.ValueOfFirstWord = n >= 5 ? data[3] * 256 + data[4] : 0;
    return r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t address = static_cast<uint8_t>(data[0] & 0x0F);
    const uint8_t functions[] = {0x03, 0x06, 0x08, 0x10};
    const uint8_t function = functions[(data[0] >> 4) & 3];
    const uint8_t* reply = data + 1;
    const size_t length = size - 1;

    // TModbusPort's decoding.
    TSerialResponse r = Reply(reply, length);
    Modbus::FinishReply(r, address, function);
    CheckStatus(r.Status);
    if (r.Response.size() > 256 || r.Response.size() > static_cast<qsizetype>(length))
        std::abort();
    TSerialResponse asFloat = r;
    Modbus::DecodeFloatReply(asFloat);
    CheckStatus(asFloat.Status);
    if (!asFloat.Status.isEmpty() && asFloat.rDouble != 0)
        std::abort();
    for (int count : {1, 2, 5, 32}) {
        TSerialResponse words;
        Modbus::DecodeWordsReply(r, count, words);
        CheckStatus(words.Status);
        if (words.ValueOfFirstWord < 0 || words.ValueOfFirstWord > 0xFFFF)
            std::abort();
    }
    const int echoed = Modbus::EchoedWord(r);
    if (echoed < -1 || echoed > 0xFFFF)
        std::abort();

    // TVoegtlinPort's decoding.
    for (TGscValue kind : {TGscValue::U16, TGscValue::U32, TGscValue::S8, TGscValue::F32}) {
        TSerialResponse g = Reply(reply, length);
        Modbus::DropStalePrefix(g, address, 0x03);
        DecodeGscReply(kind, address, g);
        CheckStatus(g.Status);
        if (g.Status.isEmpty() && g.Response.size() != GscReplyLength(kind))
            std::abort();
        if (kind == TGscValue::F32 && !g.Status.isEmpty() && !std::isnan(g.AsFloat))
            std::abort();
        if (g.AsString.size() > 8)
            std::abort();
        for (const char c : g.AsString)
            if (!(c == ' ' || c == '/' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                  (c >= 'a' && c <= 'z')))
                std::abort();
    }

    // A flow-server answer line.
    QString text, error;
    const QByteArray line(reinterpret_cast<const char*>(reply), static_cast<qsizetype>(length));
    if (ParseFlowServerReply(line, text, error)) {
        if (!error.isEmpty())
            std::abort();
    } else {
        double v = 0;
        if (error.isEmpty() || !text.isEmpty() || TryStrToFloat(error, v))
            std::abort();
    }
    return 0;
}
