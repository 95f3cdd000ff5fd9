#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(AtomicFile, AWriteThatFailsHalfwayKeepsTheOldFile) {
    TTestFolder dir;
    dir.Write("keep.txt", "precious");
    // A child process whose file size limit is too small: the write fails part way.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        const bool ok = WriteFileAtomically(dir.Path("keep.txt"), QByteArray(1 << 20, 'x'), &error);
        _exit(ok ? 0 : (error.isEmpty() ? 2 : 1));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1); // failed, with a reason
    EXPECT_EQ(dir.Read("keep.txt"), QByteArray("precious"));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{"keep.txt"});
}

TEST(AtomicFile, MissingFolderFails) {
    TTestFolder dir;
    EXPECT_FALSE(WriteFileAtomically(dir.Path("no/such/folder/x.txt"), "data"));
}
