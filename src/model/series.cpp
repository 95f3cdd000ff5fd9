// Filling the graph series of a measurement from its node data.
#include <QString>

#include "tavlo/ansi.h"
#include "tavlo/formatfloat.h"
#include "tavlo/log.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"
#include "tavlo/userinteraction.h"
#include "tavlo/variables.h"

namespace {

QString TrueFalse(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }

// The point series of a graph that the measurement fills: exactly of class TRtPointSeries.
QList<TRtPointSeries*> FilledSeries(const TRtGraph2D& graph) {
    QList<TRtPointSeries*> list;
    for (TRtSeries* s : graph.Series())
        if (qstrcmp(s->metaObject()->className(), "TRtPointSeries") == 0)
            list.append(static_cast<TRtPointSeries*>(s));
    return list;
}

QList<TRtGraph2D*> GraphsOf(const TMeasurement& m) {
    QList<TRtGraph2D*> graphs;
    for (QObject* item : m.Graphs->Items())
        if (auto* g = qobject_cast<TRtGraph2D*>(item))
            graphs.append(g);
    return graphs;
}

void ClearVectors(TRtPointSeries& s) {
    if (s.XData())
        s.XData()->Clear();
    if (s.YData() && s.YData() != s.XData())
        s.YData()->Clear();
    s.ExpressionsChanged = false;
}

} // namespace

bool TMeasurement::ValidateExpression(TRtPointSeries& series, int aIndex, const QString& expression) {
    series.ExpressionsTested = true;
    if (expression.isEmpty())
        return false;
    LogLine(QString());
    LogLine(QStringLiteral("Validating new expression"));
    LogLine(QStringLiteral("aIndex      = ") + QString::number(aIndex));
    LogLine(QStringLiteral("Expression  = '") + expression + u'\'');
    const QString text = AnsiString(SubstituteVariables(*this, &series, aIndex, expression));
    if (text.toUpper().contains(QLatin1String("NAN"))) {
        LogLine(QStringLiteral("Nan found, assumed OK"));
        return true;
    }
    LogLine(QStringLiteral("Treated     = '") + expression + u'\'');
    const TEvaluationResult r = EvaluateSubstitutedText(*this, text);
    if (r.Success) {
        LogLine(QStringLiteral("Value       = ") + FloatToStr(r.Value));
        return true;
    }
    LogLine(QStringLiteral("Exception class name  = ") + r.ErrorClass);
    LogLine(QStringLiteral("Exception message     = ") + r.ErrorMessage);
    return false;
}

bool TMeasurement::AddPointToSeries(TRtPointSeries& series, int aIndex, const QString& YExpression,
                                    const QString& XExpression) {
    LogLine(QStringLiteral("Adding point to graph"));
    if (XExpression.isEmpty() || YExpression.isEmpty())
        return true;
    const QString x = AnsiString(SubstituteVariables(*this, &series, aIndex, XExpression));
    const QString y = AnsiString(SubstituteVariables(*this, &series, aIndex, YExpression));
    if (x.contains(QLatin1String("NAN"), Qt::CaseInsensitive) ||
        y.contains(QLatin1String("NAN"), Qt::CaseInsensitive))
        return true; // a point with missing values is skipped
    if (x.contains(u'$') || y.contains(u'$'))
        LogLine(QStringLiteral("Some $-variable could not be replaced with value, most likely index "
                               "out of datarange."));
    bool result = true;
    auto evaluate = [&](const QString& text, const char* parserName, TRtCustomDoubleVector* target,
                        const char* axis) {
        const TEvaluationResult r = EvaluateSubstitutedText(*this, text, parserName);
        if (r.Success) {
            if (target)
                target->Add(r.Value);
            return;
        }
        LogLine(QString());
        LogLine(QLatin1String(axis) + QStringLiteral(" expression failed :") + r.ErrorMessage);
        LogLine(QLatin1String(axis) + QStringLiteral(" expression        :") + text);
        LogLine(QStringLiteral("Serie name          :") + series.Caption);
        LogLine(QStringLiteral("Serie index         :") + QString::number(aIndex));
        LogLine(QStringLiteral("E Tested            :") + TrueFalse(series.ExpressionsTested));
        LogLine(QStringLiteral("E Valid             :") + TrueFalse(series.ExpressionsValid));
        series.ExpressionsValid = false;
        result = false;
    };
    evaluate(x, "X_serie", series.XData(), "X");
    evaluate(y, "Y_serie", series.YData(), "Y");
    UpdateRegression(series.Regression(), series);
    return result;
}

void TMeasurement::UpdateRegression(TRtLinearRegression* regression, TRtPointSeries& series) {
    if (!regression)
        return;
    const TRtCustomDoubleVector* x = series.XData();
    const int count = x ? x->Count() : 0;
    if (series.CoefRange <= 0) {
        regression->AutoStart = true;
        regression->AutoStop = true;
    } else {
        regression->AutoStart = false;
        regression->AutoStop = true;
        regression->CalculationStart = 1 < series.CoefRange && series.CoefRange < count
                                           ? x->GetValue(count - series.CoefRange)
                                           : (x ? x->GetMinimum() : 0);
    }
    regression->CoupleCalculationAndDisplay = !series.CoefExtrapolate;
    regression->ClipYValues = !series.CoefExtrapolate;
    regression->DisplayAutoStart = true;
    // The results follow the data at once (the graph draws the line from them).
    if (regression->XData() && regression->YData()) {
        try {
            regression->Calculate();
        } catch (const std::exception&) {
        }
    }
    const QChar mark(DecimalSeparator());
    regression->Caption = QStringLiteral("LR: ") + series.Caption + QStringLiteral(" (.LRA=") +
                          FormatFloat(QStringLiteral("0.####"), regression->Offset, mark) +
                          QStringLiteral(" .LRB=") +
                          FormatFloat(QStringLiteral("0.####"), regression->Slope, mark) + u')';
}

void TMeasurement::UpdateSeries() {
    const int I = MaxIndexNonIS();
    const QList<TRtGraph2D*> graphs = GraphsOf(*this);
    LogLine(QString());
    LogLine(QStringLiteral("Trying to update the graphs for measurement ") + Caption());
    LogLine(QStringLiteral("Graphs to treat: ") + QString::number(graphs.size()));
    LogLine(QStringLiteral("Number of data points for nodes: ") + QString::number(I));
    UserInteraction().SetStatusText(0, QStringLiteral("Updating graphs"));
    for (TRtGraph2D* graph : graphs) {
        LogLine(QString());
        LogLine(QStringLiteral("Graph: ") + graph->Caption);
        for (TRtPointSeries* s : FilledSeries(*graph)) {
            LogLine(QString());
            LogLine(QStringLiteral("Serie: ") + s->Caption);
            LogLine(QStringLiteral("Serie index: ") + QString::number(graph->children().indexOf(s)));
            bool valid = ValidateExpression(*s, 0, s->XExpression());
            if (valid)
                valid = ValidateExpression(*s, 0, s->YExpression());
            s->ExpressionsValid = valid;
            if (valid) {
                if (s->ExpressionsChanged)
                    ClearVectors(*s);
                AddPointToSeries(*s, I, s->YExpression(), s->XExpression());
            } else {
                LogLine(QStringLiteral("  -> Cancel treatment"));
                LogLine(QStringLiteral("  -> Expressions failed to validate"));
            }
        }
    }
    UserInteraction().SetStatusText(0, QString());
}

void TMeasurement::UpdateSeriesSweeps() {
    UserInteraction().SetStatusText(0, QStringLiteral("Updating sweep graphs"));
    LogLine(QString());
    LogLine(QStringLiteral("Updating sweep graphs"));
    for (TRtGraph2D* graph : GraphsOf(*this)) {
        for (TRtPointSeries* s : FilledSeries(*graph)) {
            const int k = s->GetSweepNode();
            if (k == 0) {
                LogLine(QStringLiteral("Skipped ") + s->Caption + QStringLiteral(" as non-sweep series"));
                continue;
            }
            const TMeasurementNode* node = FindNode(QStringLiteral("N%1").arg(k));
            if (!node) {
                LogLine(QStringLiteral("Node (%1) required for the serie ").arg(k) + s->Caption +
                        QStringLiteral(" does not exist."));
                continue;
            }
            if (!s->ExpressionsTested) {
                bool valid = ValidateExpression(*s, 0, s->XExpression());
                if (valid)
                    valid = ValidateExpression(*s, 0, s->YExpression());
                s->ExpressionsValid = valid;
            }
            if (!s->ExpressionsValid) {
                LogLine(QStringLiteral("Expression for ") + s->Caption +
                        QStringLiteral(" could not be parsed."));
                continue;
            }
            if (s->ExpressionsChanged)
                ClearVectors(*s);
            const int n = node->DataCount();
            const int xCount = s->XData() ? s->XData()->Count() : 0;
            if (n >= xCount) {
                for (int index = s->Count(); index < n; ++index) {
                    AddPointToSeries(*s, index, s->YExpression(), s->XExpression());
                    if (!s->ExpressionsValid)
                        break;
                }
            }
        }
    }
    UserInteraction().SetStatusText(0, QString());
}

bool TMeasurement::RebuildSeries(TRtPointSeries& series) {
    bool valid = ValidateExpression(series, 0, series.XExpression());
    if (valid)
        valid = ValidateExpression(series, 0, series.YExpression());
    series.ExpressionsValid = valid;
    if (!valid) {
        UserInteraction().ShowMessage(QStringLiteral("Expressions failed to validate"));
        return false;
    }
    ClearVectors(series);
    for (int index = 0; index <= MaxIndexAll(); ++index) {
        AddPointToSeries(series, index, series.YExpression(), series.XExpression());
        if (!series.ExpressionsValid)
            break;
    }
    return true;
}
