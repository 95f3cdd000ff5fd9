#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tavlo/atomicfile.h"
#include "testutil.h"

TEST(AtomicFile, ReplacesTheWholeFile) {
    TTestFolder dir;
    dir.Write("a.txt", "old content that is longer");
    QString error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path("a.txt"), "new", &error)) << error.toStdString();
    EXPECT_EQ(dir.Read("a.txt"), QByteArray("new"));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{"a.txt"}); // no leftovers
}

TEST(AtomicFile, FailureKeepsTheOldFile) {
    TTestFolder dir;
    dir.Write("keep.txt", "precious");
    // The folder is made read-only: no temporary file can be created in it.
    QFile::setPermissions(dir.Path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QString error;
    const bool ok = WriteFileAtomically(dir.Path("keep.txt"), "new", &error);
    QFile::setPermissions(dir.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    if (ok && geteuid() == 0)
        GTEST_SKIP() << "root ignores folder permissions";
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dir.Read("keep.txt"), QByteArray("precious"));
}

TEST(AtomicFile, MissingFolderFails) {
    TTestFolder dir;
    EXPECT_FALSE(WriteFileAtomically(dir.Path("no/such/folder/x.txt"), "data"));
}
