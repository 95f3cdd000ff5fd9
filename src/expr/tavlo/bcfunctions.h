#pragma once

// The built-in function library of the expression language and the checked extended
// arithmetic behind the operators. Faults raise the classes of exprerrors.h; NaN operands
// propagate quietly.

#include <cstdint>
#include <string>
#include <vector>

// ---- checked arithmetic ---------------------------------------------------------------
long double CheckedAdd(long double a, long double b);
long double CheckedSub(long double a, long double b);
long double CheckedMul(long double a, long double b);
long double CheckedDiv(long double a, long double b);
long double CheckedPower(long double base, long double exponent);
long double CheckedExp(long double a);
long double CheckedLn(long double a);
long double CheckedLog10(long double a);
long double CheckedSqrt(long double a);
// Integer part as a 64-bit integer; NaN or a value that does not fit raises EInvalidOp.
std::int64_t TruncToInt64(long double a);

// ---- operators (two-argument and prefix forms) ----------------------------------------
long double OpAdd(long double l, long double r);
long double OpSub(long double l, long double r);
long double OpMul(long double l, long double r);
long double OpDiv(long double l, long double r);
long double OpIntDiv(long double l, long double r); // %: quotient of the truncated operands
long double OpPower(long double l, long double r);
long double OpEqual(long double l, long double r);
long double OpNotEqual(long double l, long double r);
long double OpLess(long double l, long double r);
long double OpGreater(long double l, long double r);
long double OpLessEqual(long double l, long double r);
long double OpGreaterEqual(long double l, long double r);
long double OpAnd(long double l, long double r);
long double OpOr(long double l, long double r);
long double OpNot(long double a);
long double OpNegate(long double a);
long double OpIdentity(long double a);

// ---- scientific conversions -----------------------------------------------------------
enum class TThermocoupleType { K, S };

// Returned by the scientific functions for input they refuse.
constexpr long double RefusedValue = -1000.0L;

// Valid voltage range of a type in microvolts (inclusive).
long double ThermocoupleMinMicrovolts(TThermocoupleType type);
long double ThermocoupleMaxMicrovolts(TThermocoupleType type);
// Temperature (°C) of a thermocouple voltage in microvolts (ITS-90 inverse polynomials).
long double ThermocoupleTemperature(TThermocoupleType type, long double microvolts);
// EMF (µV) of a junction at the temperature (°C), found by bisection on the inverse.
long double ThermocoupleReferenceEmf(TThermocoupleType type, long double celsius);
// Temperature of a thermocouple voltage V (volts) with the reference junction at T (°C);
// RefusedValue out of range.
long double ThermocoupleWithColdJunction(TThermocoupleType type, long double volts,
                                         long double ambient);

long double ThermistorTemperature(long double ohms);      // TT2
long double PlatinumThermopower(long double celsius);     // TPP, volts per kelvin

// Van der Pauw: R with exp(-pi A/R) + exp(-pi B/R) = 1. Refusal (opposite signs, zero,
// non-finite input, no convergence within VanDerPauwMaxRounds) returns false with a text.
constexpr int VanDerPauwMaxRounds = 200000;
bool SolveVanDerPauw(long double a, long double b, long double& r, std::string& message);

long double NernstPO2(long double e, long double t, long double ref);          // NERPO2
long double NernstEmf(long double ref, long double exp, long double t);        // NEREMF
long double MoseOxygen(long double t, long double e, long double a, long double b); // MOSE

// Seeds this thread's random generator from the clock (RANDOM and RND re-seed at every call).
void RandomizeFromClock();

// ---- measurement start time -----------------------------------------------------------
void SetProcessMeasurementStartTime(double startTime);
double ProcessMeasurementStartTime();
// The start time the elapsed-time functions read on this thread: the evaluating parser's own
// when one is active, else the process-wide value.
double CurrentMeasurementStartTime();

class TStartTimeScope {
public:
    explicit TStartTimeScope(const double* startTime);
    ~TStartTimeScope();
    TStartTimeScope(const TStartTimeScope&) = delete;
    TStartTimeScope& operator=(const TStartTimeScope&) = delete;

private:
    const double* FPrevious;
};

// ---- the default function table -------------------------------------------------------
struct TDefaultFunction {
    const char* Name;
    int Arity;   // 1, 2 or N (> 2)
    long double (*One)(long double);
    long double (*Two)(long double, long double);
    long double (*N)(const long double*);
    std::string Description; // signature, title, explanation on their own lines
};
// The built-in functions in registration order.
const std::vector<TDefaultFunction>& DefaultFunctions();
