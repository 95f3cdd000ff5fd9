#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cmath>

#include "tavlo/componentlist.h"
#include "tavlo/componenttext.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"

namespace {
class ComponentText : public ::testing::Test {
protected:
    void SetUp() override { RegisterModelClasses(); }
};

QByteArray Encoded(const QString& text) {
    QByteArray out;
    AppendComponentString(out, text, 2);
    return out;
}
} // namespace

TEST_F(ComponentText, StringsAreQuotedRunsAndCodes) {
    EXPECT_EQ(Encoded(QString()), "''");
    EXPECT_EQ(Encoded(QStringLiteral("it's")), "'it'#39's'");
    EXPECT_EQ(Encoded(QStringLiteral("a\r\nb")), "'a'#13#10'b'");
    EXPECT_EQ(Encoded(QStringLiteral("\u00A4x\u20AC")), "#164'x'#8364");
}

TEST_F(ComponentText, LongTextsBreakEvery64Characters) {
    const QString s64(64, u'x');
    EXPECT_EQ(Encoded(s64), "'" + QByteArray(64, 'x') + "'");
    const QString s65(65, u'x');
    EXPECT_EQ(Encoded(s65), "\r\n    '" + QByteArray(64, 'x') + "' +\r\n    'x'");
    // A code counts as one character of the 64.
    const QString coded = QString(63, u'y') + QChar(u'\'') + QStringLiteral("zz");
    EXPECT_EQ(Encoded(coded), "\r\n    '" + QByteArray(63, 'y') + "'#39 +\r\n    'zz'");

    TMeasurement m;
    m.setObjectName("ABCDEFGHIJKLMNOPQRST");
    m.SetCaption(s65);
    const QString text = ComponentToText(&m);
    EXPECT_TRUE(text.contains("\r\n  Caption = \r\n    'xxxx"));
}

TEST_F(ComponentText, ReadsAnyLineBreakingAndAdjacentParts) {
    const QString text = QStringLiteral(
        "object N7: TMeasurementNode\r\n"
        "  Caption = 'a'#39'b''' + \r\n"
        "\r\n"
        "     'c'#$41\n"
        "  GPIBBeforePoint =\n    'x'\r\n"
        "  FAM = 2\r\n"                      // an integer for a float
        "  ACVoltage = 1.5E-3\r\n"
        "  AM1Value = 2.5s\r\n"
        "  SweepPoints = 12\r\n"
        "  active = true\r\n"                // names and booleans ignore case
        "end\r\n*\r\n");
    auto obj = TextToComponent(text);
    auto* node = qobject_cast<TMeasurementNode*>(obj.get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->objectName(), "N7");
    EXPECT_EQ(node->Caption, QStringLiteral("a'b'cA"));
    EXPECT_EQ(node->GPIBBeforePoint, "x");
    EXPECT_EQ(node->FAM, 2.0);
    EXPECT_EQ(node->ACVoltage, 1.5e-3);
    EXPECT_EQ(node->AM1Value, 2.5f);
    EXPECT_EQ(node->SweepPoints, 12);
    EXPECT_TRUE(node->Active);
    EXPECT_EQ(node->StartExpression, "1"); // not in the text: the default
}

TEST_F(ComponentText, OlderNodesWithoutNameInTheObjectLine) {
    auto obj = TextToComponent(QStringLiteral(
        "object TMeasurementNode\r\n  Name = 'N1'\r\n  NodeType = 'M2'\r\nend\r\n"));
    auto* node = qobject_cast<TMeasurementNode*>(obj.get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->objectName(), "N1");
    EXPECT_EQ(node->NodeType, "M2");
}

TEST_F(ComponentText, DoublesInFixedNotation) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.1, "0.100000000000000000"},
        {41192.68600215277, "41192.686002152770000000"},
        {-1, "-1.000000000000000000"},
        {15, "15.000000000000000000"},
        {0.0001, "0.000100000000000000"},
        {123456789.123, "123456789.123000000000000000"},
        // Where the fixed form would drop digits, the exponent form keeps them.
        {1.234567890123456e-12, "1.234567890123456E-12"},
        {2.5e-30, "2.5E-30"},
        {1e20, "1E20"},
        {NAN, "NAN"},
        {-INFINITY, "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatComponentDouble(c.value), QByteArray(c.text)) << c.text;
        if (std::isnan(c.value))
            continue;
        // and it reads back as the same number
        TMeasurementNode node;
        ReadComponentInto(QStringLiteral("object TMeasurementNode\r\n  DCBias = %1\r\nend\r\n")
                              .arg(QLatin1String(c.text)),
                          &node);
        EXPECT_EQ(node.DCBias, c.value) << c.text;
    }
    EXPECT_EQ(FormatComponentSingle(2.5f), "2.5s");
    EXPECT_EQ(FormatComponentSingle(0.1f), "0.100000001490116s");
}

TEST_F(ComponentText, ValuesThatDifferFromANonZeroDefaultSurviveARoundTrip) {
    TMeasurementNode node;
    node.ACVoltage = 0;         // default 0.1
    node.StartExpression = "";  // default "1"
    node.FAM = 0;               // default -1
    node.AGPIB1 = NAN;
    auto back = TextToComponent(ComponentToText(&node));
    auto* copy = qobject_cast<TMeasurementNode*>(back.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->ACVoltage, 0);
    EXPECT_EQ(copy->StartExpression, "");
    EXPECT_EQ(copy->FAM, 0);
    EXPECT_TRUE(std::isnan(copy->AGPIB1));
}

TEST_F(ComponentText, MalformedTextIsAReadError) {
    const struct {
        const char* text;
        const char* fragment;
    } cases[] = {
        {"", "Identifier expected"},
        {"garbage", "'object' expected"},
        {"object X: TNoSuchClass\r\nend\r\n", "Class TNoSuchClass not found"},
        {"object N1: TMeasurementNode\r\n  NoSuchProp = 1\r\nend\r\n",
         "Property NoSuchProp does not exist"},
        {"object N1: TMeasurementNode\r\n  Caption = 'open\r\nend\r\n", "Unterminated string"},
        {"object N1: TMeasurementNode\r\n  SweepPoints = 1.5\r\nend\r\n", "Invalid property value"},
        {"object N1: TMeasurementNode\r\n  Active = 1\r\nend\r\n", "Invalid property value"},
        {"object N1: TMeasurementNode\r\n  Caption = 5\r\nend\r\n", "Invalid property value"},
        {"object N1: TMeasurementNode\r\n  Caption = 'x'\r\n", "'end' expected"},
        {"object N1: TMeasurementNode\r\n  DataString = 'abc/1/2/3'\r\nend\r\n",
         "'abc' is not a valid floating point value"},
        {"object N1: TMeasurementNode\r\n  Caption = #99999\r\nend\r\n", "out of range"},
        {"object N1: TMeasurementNode\r\nend\r\nobject N2: TMeasurementNode\r\n", "after the final"},
        {"object N1: TMeasurementNode\r\n  object N2: TMeasurementNode\r\n  end\r\nend\r\n",
         "Nested objects"},
    };
    for (const auto& c : cases) {
        try {
            TextToComponent(QString::fromLatin1(c.text));
            ADD_FAILURE() << "no error for: " << c.text;
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos)
                << e.what() << " / expected " << c.fragment;
        }
    }
}

TEST_F(ComponentText, CopyPropertiesCopiesAllButNameAndData) {
    TMeasurementNode source;
    source.setObjectName("N3");
    source.Caption = "T1";
    source.ACVoltage = 0.5;
    source.AM1Value = 3.25f;
    source.SegmentLine = 4;
    source.Active = true;
    source.AddData(1, 2, 3, 4);
    TMeasurementNode dest;
    dest.setObjectName("N9");
    CopyProperties(&source, &dest);
    EXPECT_EQ(dest.objectName(), "N9");
    EXPECT_EQ(dest.DataCount(), 0);
    EXPECT_EQ(dest.Caption, "T1");
    EXPECT_EQ(dest.ACVoltage, 0.5);
    EXPECT_EQ(dest.AM1Value, 3.25f);
    EXPECT_EQ(dest.SegmentLine, 4);
    EXPECT_TRUE(dest.Active);
}

TEST_F(ComponentText, RandomNamesAreCapitalLetters) {
    const QString a = RandomName(20);
    const QString b = RandomName(20);
    EXPECT_TRUE(QRegularExpression("^[A-Z]{20}$").match(a).hasMatch()) << a.toStdString();
    EXPECT_NE(a, b); // two calls in the same instant still differ
}

TEST(ComponentObjectList, CountsAndOrdersOnlyItsType) {
    TComponentObjectList untyped;
    EXPECT_THROW(untyped.Count(), std::logic_error);
    try {
        untyped.Count();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Trying to use ComponentObjectList without type definition");
    }

    TComponentObjectList list(nullptr, "TMeasurementNode");
    for (const char* caption : {"b", "A", "c", "a"}) {
        auto* node = new TMeasurementNode;
        node->Caption = caption;
        list.Add(node);
    }
    list.Add(new QObject); // not counted
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Item<TMeasurementNode>(0)->Caption, "b");
    QStringList order;
    for (int i = 0; i < list.Count(); ++i)
        order << list.ItemInOrder<TMeasurementNode>(i)->Caption;
    // keys "b0", "A1", "c2", "a3" compared without case
    EXPECT_EQ(order, (QStringList{"A", "a", "b", "c"}));
    EXPECT_EQ(list.GetItem(4), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.children().isEmpty());
}
