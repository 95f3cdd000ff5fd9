// Outside texts of the serial layer: the port map (ini text), byte-list texts, port names
// and instrument replies to trim.
#include "tavlo/inifile.h"
#include "tavlo/serialport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    TIniFile ini;
    ini.SetText(text);
    const QString once = ini.Text();
    TIniFile again;
    again.SetText(once);
    if (again.Text() != once)
        std::abort();
    for (const QString& section : ini.Sections())
        for (const QString& key : ini.Keys(section))
            if (!ini.ValueExists(section, key))
                std::abort();

    const QByteArray list = ParseByteList(text);
    if (list.size() > text.size())
        std::abort();
    const int number = PortNumberOf(text);
    if (number < 0 || number > 255)
        std::abort();

    const QByteArray trimmed = TrimBlanksAndControls(bytes);
    if (!trimmed.isEmpty() && (static_cast<uint8_t>(trimmed.front()) <= 0x20 ||
                               static_cast<uint8_t>(trimmed.back()) <= 0x20))
        std::abort();
    if (bytes.indexOf(trimmed) < 0)
        std::abort();
    return 0;
}
