#include <QCoreApplication>

#include <gtest/gtest.h>

#include "tavlo/numformat.h"

int main(int argc, char** argv) {
    qputenv("QT_LOGGING_RULES", "*.info=false");
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(u'.');
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
