#include <gtest/gtest.h>

#include "modbuslabfixture.h"
#include "tavlo/flowserver.h"
#include "tavlo/numformat.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <thread>

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool IsNumber(const QString& text) {
    double v = 0;
    return TryStrToFloat(text, v);
}

class FlowServerTest : public ModbusLabTest {
protected:
    TSimElflow& Channel(int n) { return Lab.FlowServer->Channels[n]; }
    int Requests() {
        auto lock = Sim.Lab.Lock();
        return static_cast<int>(Lab.FlowServer->Lines.count(QByteArray("REQUEST P(205)")));
    }
    const QString Service = QStringLiteral("FlowDDE");
};
} // namespace

TEST(FlowServerReply, Parsing) {
    struct Case {
        QByteArray Line;
        bool Ok;
        const char* Text;
        const char* Error;
    };
    const Case cases[] = {
        {"OK", true, "", ""},
        {"OK DMFC", true, "DMFC", ""},
        {"OK  12.5 ", true, " 12.5 ", ""},
        {"ERR no such topic", false, "", "Flow server error: no such topic"},
        {"ERR", false, "", "Flow server error: (no reason given)"},
        {"OKAY", false, "", "Flow server answer not understood: OKAY"},
        {"", false, "", "Flow server answer not understood: "},
        {QByteArray("\x00\xff#", 3), false, "", nullptr},
    };
    for (const Case& c : cases) {
        QString text, error;
        EXPECT_EQ(ParseFlowServerReply(c.Line, text, error), c.Ok) << c.Line.constData();
        EXPECT_EQ(text, QString::fromLatin1(c.Text));
        if (c.Error) {
            EXPECT_EQ(error, QString::fromLatin1(c.Error));
        } else {
            EXPECT_FALSE(error.isEmpty());
        }
    }
    EXPECT_EQ(FlowTopic(3), "C(3)");
    EXPECT_EQ(FlowItem(205), "P(205)");
}

TEST_F(FlowServerTest, ItemsOfTheMassFlowTool) {
    EXPECT_EQ(FlowServerRead(Service, 2, FlowParam::SerialNumber), "M21298765B");
    EXPECT_EQ(FlowServerRead(Service, 2, FlowParam::Gas), "O2");
    EXPECT_EQ(FlowServerRead(Service, 1, FlowParam::Unit), "mln/min");
    EXPECT_EQ(FlowServerRead(Service, 2, FlowParam::Capacity), "50.000");
    QString answer;
    EXPECT_TRUE(FlowServerValidate(QStringLiteral("FLOWDDE"), 1, &answer));
    EXPECT_EQ(answer, "DMFC");
    auto lock = Sim.Lab.Lock();
    EXPECT_TRUE(Lab.FlowServer->Lines.contains("CONNECT FLOWDDE C(1)"));
    EXPECT_TRUE(Lab.FlowServer->Lines.contains("REQUEST P(90)"));
}

TEST_F(FlowServerTest, PokedSetpointIsRoundedAndTheMeasuredValueFollows) {
    EXPECT_TRUE(FlowServerWriteSetpoint(Service, 1, 80.4));
    SleepMs(1500);
    const double measured = FlowServerReadMeasured(Service, 1);
    EXPECT_NEAR(measured, 80, 1.5);
    EXPECT_EQ(FlowServerRead(Service, 1, FlowParam::Setpoint), "80");
    struct Case {
        double Value;
        const char* Poked;
    };
    for (const Case& c : {Case{12.5, "POKE P(9) 12"}, Case{13.5, "POKE P(9) 14"},
                          Case{-0.4, "POKE P(9) 0"}, Case{199.6, "POKE P(9) 200"}}) {
        EXPECT_TRUE(FlowServerWriteSetpoint(Service, 2, c.Value));
        auto lock = Sim.Lab.Lock();
        EXPECT_EQ(Lab.FlowServer->Lines.last(), QByteArray(c.Poked));
    }
    QString error;
    EXPECT_FALSE(FlowServerWriteSetpoint(Service, 2, NAN, 500, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(FlowServerTest, MeasuredReadRetriesWhileNotANumber) {
    {
        auto lock = Sim.Lab.Lock();
        Channel(1).FailMeasuredReads = 3;
        Channel(1).Setpoint = Channel(1).Measured = 40;
    }
    EXPECT_NEAR(FlowServerReadMeasured(Service, 1), 40, 1);
    EXPECT_EQ(Requests(), 4);
    {
        auto lock = Sim.Lab.Lock();
        Channel(1).FailMeasuredReads = 100;
    }
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(FlowServerReadMeasured(Service, 1), -1);
    EXPECT_EQ(Requests(), 4 + 6); // once and five more times
    EXPECT_GE(t.elapsed(), 5 * 50 - 10);
}

TEST_F(FlowServerTest, FailuresNeverRaiseAndGiveTheirResults) {
    // Unreadable channel, unknown topic, refused poke.
    {
        auto lock = Sim.Lab.Lock();
        Channel(2).Unreadable = true;
        Channel(1).RefusePoke = true;
        Channel(1).Type = QStringLiteral("MFC");
    }
    const QString unreadable = FlowServerRead(Service, 2, FlowParam::Gas);
    EXPECT_FALSE(IsNumber(unreadable));
    EXPECT_EQ(unreadable, "Flow server error: channel not responding");
    EXPECT_EQ(FlowServerReadMeasured(Service, 2), -1);
    QString answer;
    EXPECT_FALSE(FlowServerValidate(Service, 2, &answer));
    EXPECT_FALSE(answer.isEmpty());
    EXPECT_FALSE(FlowServerValidate(Service, 1, &answer));
    EXPECT_EQ(answer, "MFC");
    EXPECT_EQ(FlowServerRead(Service, 7, FlowParam::Gas), "Flow server error: no such topic");
    EXPECT_EQ(FlowServerReadMeasured(Service, 7), -1);
    QString error;
    EXPECT_FALSE(FlowServerWriteSetpoint(Service, 1, 10, 500, &error));
    EXPECT_EQ(error, "Flow server error: poke refused");
    EXPECT_FALSE(FlowServerWriteSetpoint(Service, 2, 10));

    // Garbage and silence from the server.
    {
        auto lock = Sim.Lab.Lock();
        Lab.FlowServer->Faults.Garbage = true;
    }
    EXPECT_FALSE(IsNumber(FlowServerRead(Service, 1, FlowParam::Measured, 300)));
    EXPECT_FALSE(FlowServerWriteSetpoint(Service, 1, 5, 300));
    {
        auto lock = Sim.Lab.Lock();
        Lab.FlowServer->Faults = {};
        Lab.FlowServer->Faults.NoAnswer = true;
    }
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(FlowServerRead(Service, 1, FlowParam::Gas, 200), "Flow server did not answer in time");
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_EQ(FlowServerReadMeasured(Service, 1, 100), -1);
}

TEST_F(FlowServerTest, ServerAbsent) {
    // Not in the port map.
    const QString unmapped = FlowServerRead(QStringLiteral("OtherDDE"), 1, FlowParam::DeviceType);
    EXPECT_EQ(unmapped, "Flow server service OtherDDE is not in the port map");
    EXPECT_EQ(FlowServerReadMeasured(QStringLiteral("OtherDDE"), 1), -1);
    EXPECT_FALSE(FlowServerWriteSetpoint(QStringLiteral("OtherDDE"), 1, 3));
    EXPECT_FALSE(FlowServerValidate(QStringLiteral("OtherDDE"), 1));
    // Mapped, but nobody listens there.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    ASSERT_TRUE(WriteServiceMap(Sim.Folder.Path(), QStringLiteral("FLOWDDE"), closedPort));
    const QString absent = FlowServerRead(Service, 1, FlowParam::DeviceType, 500);
    EXPECT_TRUE(absent.startsWith("Flow server FlowDDE not reachable at 127.0.0.1:")) << absent.toStdString();
    EXPECT_EQ(FlowServerReadMeasured(Service, 1, 300), -1);
    EXPECT_FALSE(FlowServerWriteSetpoint(Service, 1, 3, 300));
    // A broken address.
    Sim.Folder.Write(QStringLiteral("Utility/ports.ini"), "[Services]\r\nFLOWDDE=nowhere\r\n");
    EXPECT_TRUE(FlowServerRead(Service, 1, 90).contains("is not host:port"));
}
