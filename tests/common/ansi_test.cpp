#include <gtest/gtest.h>

#include "tavlo/ansi.h"

TEST(Windows1252, ConvertsBothWays) {
    const QString text = QStringLiteral("Ofen 1 \u00A4 \u20AC 25\u00B0C \u00E6\u00F8\u00E5 \u2122");
    const QByteArray bytes = ToWindows1252(text);
    EXPECT_EQ(bytes, QByteArray("Ofen 1 \xA4 \x80 25\xB0"
                                "C \xE6\xF8\xE5 \x99"));
    EXPECT_EQ(FromWindows1252(bytes), text);
}

TEST(Windows1252, LosesCharactersOutsideTheCodePage) {
    EXPECT_EQ(AnsiString(QStringLiteral("T\u03A9 \u4E2D")), QStringLiteral("T? ?"));
    EXPECT_EQ(AnsiString(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QStringLiteral("x?y"));
    EXPECT_EQ(AnsiString(QStringLiteral("plain")), QStringLiteral("plain"));
}
