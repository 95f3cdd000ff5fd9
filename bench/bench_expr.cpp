// The expression hot path: callers create a parser per evaluation, so construction + parse +
// evaluate is what a series rebuild (two evaluations per point) pays.
#include "tavlo/bcparser.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const char* const Short = "(10955.6222)*2";
// About 60 characters of substituted text with functions and comparisons.
const char* const Medium = "IF((10955.6222)>(100),SQRT(ABS((3.5)-(1.25)))*2,MAX((1),(2)))";
const char* const Thermocouple = "TCK((0.0123456),(21.5))";

void BM_Construct(benchmark::State& state) {
    for (auto _ : state) {
        TbcParser parser;
        benchmark::DoNotOptimize(&parser);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Construct);

// What construction would cost if every instance registered the ~37 functions itself.
void BM_ConstructRegisteringFunctions(benchmark::State& state) {
    for (auto _ : state) {
        TbcParser parser;
        parser.DeleteAllFuncs();
        parser.CreateDefaultFuncs();
        benchmark::DoNotOptimize(&parser);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConstructRegisteringFunctions);

void CreateParseEvaluate(benchmark::State& state, const char* expression) {
    const std::string text = expression;
    long double sum = 0;
    for (auto _ : state) {
        TbcParser parser;
        parser.SetMeasurementStartTime(45000);
        parser.SetExpression(text);
        sum += parser.Evaluate();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::to_string(text.size()) + " chars");
}
BENCHMARK_CAPTURE(CreateParseEvaluate, short, Short);
BENCHMARK_CAPTURE(CreateParseEvaluate, medium, Medium);
BENCHMARK_CAPTURE(CreateParseEvaluate, tck, Thermocouple);

// Evaluating a parsed tree again (the variable storage is read through its address).
void BM_EvaluateParsed(benchmark::State& state) {
    TbcParser parser;
    parser.SetExpression("IF(X>100,SQRT(ABS(X-1.25))*2,MAX(X,2))");
    long double x = 0;
    long double sum = 0;
    for (auto _ : state) {
        parser.SetX(x);
        x += 1;
        sum += parser.Evaluate();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateParsed);

// A series rebuild of 100 000 points: X and Y texts substituted per point, one fresh parser
// each (200 000 create + parse + evaluate).
void BM_SeriesRebuild100k(benchmark::State& state) {
    std::vector<std::string> xs;
    std::vector<std::string> ys;
    xs.reserve(100000);
    ys.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        xs.push_back("(" + std::to_string(45000.0 + i / 86400.0) + ")");
        ys.push_back("(" + std::to_string(1000.0 + i * 0.37) + ")*2+(" + std::to_string(i % 97) +
                     ")/1000");
    }
    long double sum = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < xs.size(); ++i) {
            TbcParser px;
            px.SetExpression(xs[i]);
            sum += px.Evaluate();
            TbcParser py;
            py.SetExpression(ys[i]);
            sum += py.Evaluate();
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_SeriesRebuild100k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
