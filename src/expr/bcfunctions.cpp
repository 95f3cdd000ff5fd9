#include "tavlo/bcfunctions.h"

#include "tavlo/exprerrors.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

constexpr long double FullPi = 3.141592653589793238462643383279502884L;
constexpr long double NaNValue = std::numeric_limits<long double>::quiet_NaN();

// A result is a fault when it is NaN from non-NaN operands (invalid operation) or infinite
// from finite operands (overflow). Poles are checked by the callers before.
inline long double Checked1(long double r, long double a) {
    if (std::isfinite(r))
        return r;
    if (std::isnan(r)) {
        if (!std::isnan(a))
            RaiseInvalidOp();
    } else if (std::isfinite(a)) {
        RaiseOverflow();
    }
    return r;
}

inline long double Checked2(long double r, long double a, long double b) {
    if (std::isfinite(r))
        return r;
    if (std::isnan(r)) {
        if (!std::isnan(a) && !std::isnan(b))
            RaiseInvalidOp();
    } else if (std::isfinite(a) && std::isfinite(b)) {
        RaiseOverflow();
    }
    return r;
}

thread_local std::uint64_t GRandomState = 0;

void SeedFromClock() {
    GRandomState = static_cast<std::uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
}

// One uniform value in [0, 1), the generator seeded from the clock first (so two calls within
// the same clock tick give the same value).
long double RandomUnit() {
    SeedFromClock();
    GRandomState += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = GRandomState;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<long double>(z) / 18446744073709551616.0L; // 2^64, exact
}

std::atomic<double> GStartTime{0.0};
thread_local const double* GCurrentStartTime = nullptr;

} // namespace

// ---- checked arithmetic ---------------------------------------------------------------

long double CheckedAdd(long double a, long double b) { return Checked2(a + b, a, b); }
long double CheckedSub(long double a, long double b) { return Checked2(a - b, a, b); }
long double CheckedMul(long double a, long double b) { return Checked2(a * b, a, b); }

long double CheckedDiv(long double a, long double b) {
    if (b == 0 && std::isfinite(a)) {
        if (a == 0)
            RaiseInvalidOp();
        RaiseZeroDivide();
    }
    return Checked2(a / b, a, b);
}

long double CheckedPower(long double base, long double exponent) {
    const long double r = std::pow(base, exponent);
    if (std::isinf(r) && base == 0 && std::isfinite(exponent))
        RaiseZeroDivide();
    return Checked2(r, base, exponent);
}

long double CheckedExp(long double a) { return Checked1(std::exp(a), a); }

long double CheckedLn(long double a) {
    if (a == 0)
        RaiseZeroDivide();
    if (a < 0)
        RaiseInvalidOp();
    return std::log(a);
}

long double CheckedLog10(long double a) {
    if (a == 0)
        RaiseZeroDivide();
    if (a < 0)
        RaiseInvalidOp();
    return std::log10(a);
}

long double CheckedSqrt(long double a) {
    if (a < 0)
        RaiseInvalidOp();
    return std::sqrt(a);
}

std::int64_t TruncToInt64(long double a) {
    // -(2^63 + 1) and 2^63 are exact in extended precision.
    if (!(a > -9223372036854775809.0L && a < 9223372036854775808.0L))
        RaiseInvalidOp();
    return static_cast<std::int64_t>(a);
}

// ---- operators ------------------------------------------------------------------------

long double OpAdd(long double l, long double r) { return CheckedAdd(l, r); }
long double OpSub(long double l, long double r) { return CheckedSub(l, r); }
long double OpMul(long double l, long double r) { return CheckedMul(l, r); }
long double OpDiv(long double l, long double r) { return CheckedDiv(l, r); }

long double OpIntDiv(long double l, long double r) {
    const std::int64_t a = TruncToInt64(l);
    const std::int64_t b = TruncToInt64(r);
    if (b == 0)
        RaiseDivByZero();
    if (b == -1 && a == std::numeric_limits<std::int64_t>::min())
        RaiseIntOverflow();
    return static_cast<long double>(a / b);
}

long double OpPower(long double l, long double r) { return CheckedPower(l, r); }

long double OpEqual(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 0;
    return l == r ? 1 : 0;
}

long double OpNotEqual(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 1;
    return l != r ? 1 : 0;
}

long double OpLess(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 1;
    return l < r ? 1 : 0;
}

long double OpGreater(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 1;
    return l > r ? 1 : 0;
}

long double OpLessEqual(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 1;
    return l <= r ? 1 : 0;
}

long double OpGreaterEqual(long double l, long double r) {
    if (std::isnan(l) || std::isnan(r))
        return 1;
    return l >= r ? 1 : 0;
}

long double OpAnd(long double l, long double r) { return (l == 0 || r == 0) ? 0 : 1; }
long double OpOr(long double l, long double r) { return (l != 0 || r != 0) ? 1 : 0; }
long double OpNot(long double a) { return a == 0 ? 1 : 0; }
long double OpNegate(long double a) { return -a; }
long double OpIdentity(long double a) { return a; }

// ---- thermocouples ----------------------------------------------------------------------

namespace {

// A polynomial in microvolts, coefficients highest power first.
struct TPolynomial {
    int Degree = 0;
    long double C[10] = {};

    long double operator()(long double x) const {
        long double r = C[0];
        for (int i = 1; i <= Degree; ++i)
            r = r * x + C[i];
        return r;
    }
};

// From the published millivolt coefficients d0..dn: dᵢ / 1000ⁱ, reversed.
TPolynomial FromMillivolts(std::initializer_list<long double> d) {
    TPolynomial p;
    p.Degree = static_cast<int>(d.size()) - 1;
    long double scale = 1;
    int i = 0;
    for (const long double di : d) {
        p.C[p.Degree - i] = di / scale;
        scale *= 1000;
        ++i;
    }
    return p;
}

// ITS-90 inverse polynomials (temperature in °C from EMF in mV).
struct TInverseTables {
    TPolynomial K[3];
    TPolynomial S[4];
    TInverseTables() {
        // Type K, -200 to 0 °C
        K[0] = FromMillivolts({0.0L, 2.5173462E+01L, -1.1662878E+00L, -1.0833638E+00L,
                               -8.9773540E-01L, -3.7342377E-01L, -8.6632643E-02L,
                               -1.0450598E-02L, -5.1920577E-04L});
        // Type K, 0 to 500 °C
        K[1] = FromMillivolts({0.0L, 2.508355E+01L, 7.860106E-02L, -2.503131E-01L,
                               8.315270E-02L, -1.228034E-02L, 9.804036E-04L, -4.413030E-05L,
                               1.057734E-06L, -1.052755E-08L});
        // Type K, 500 to 1372 °C
        K[2] = FromMillivolts({-1.318058E+02L, 4.830222E+01L, -1.646031E+00L, 5.464731E-02L,
                               -9.650715E-04L, 8.802193E-06L, -3.110810E-08L});
        // Type S, -50 to 250 °C
        S[0] = FromMillivolts({0.0L, 1.84949460E+02L, -8.00504062E+01L, 1.02237430E+02L,
                               -1.52248592E+02L, 1.88821343E+02L, -1.59085941E+02L,
                               8.23027880E+01L, -2.34181944E+01L, 2.79786260E+00L});
        // Type S, 250 to 1200 °C
        S[1] = FromMillivolts({1.291507177E+01L, 1.466298863E+02L, -1.534713402E+01L,
                               3.145945973E+00L, -4.163257839E-01L, 3.187963771E-02L,
                               -1.291637500E-03L, 2.183475087E-05L, -1.447379511E-07L,
                               8.211272125E-09L});
        // Type S, 1064 to 1664.5 °C
        S[2] = FromMillivolts({-8.087801117E+01L, 1.621573104E+02L, -8.536869453E+00L,
                               4.719686976E-01L, -1.441693666E-02L, 2.081618890E-04L});
        // Type S, 1664.5 to 1768.1 °C
        S[3] = FromMillivolts({5.333875126E+04L, -1.235892298E+04L, 1.092657613E+03L,
                               -4.265693686E+01L, 6.247205420E-01L});
    }
};

const TInverseTables& InverseTables() {
    static const TInverseTables tables;
    return tables;
}

} // namespace

long double ThermocoupleMinMicrovolts(TThermocoupleType type) {
    return type == TThermocoupleType::K ? -6458.0L : -235.55507149267L;
}

long double ThermocoupleMaxMicrovolts(TThermocoupleType type) {
    return type == TThermocoupleType::K ? 54886.0L : 18693.544691L;
}

long double ThermocoupleTemperature(TThermocoupleType type, long double uv) {
    const TInverseTables& t = InverseTables();
    if (type == TThermocoupleType::K) {
        if (uv < 0)
            return t.K[0](uv);
        if (uv < 20644)
            return t.K[1](uv);
        return t.K[2](uv);
    }
    if (uv < 1874)
        return t.S[0](uv);
    if (uv < 11950)
        return t.S[1](uv);
    if (uv < 17536)
        return t.S[2](uv);
    return t.S[3](uv);
}

long double ThermocoupleReferenceEmf(TThermocoupleType type, long double celsius) {
    long double lower = ThermocoupleMinMicrovolts(type);
    long double upper = ThermocoupleMaxMicrovolts(type);
    long double mid = (lower + upper) / 2;
    long double result = mid;
    while (upper - lower > 0.01L) {
        const long double t = ThermocoupleTemperature(type, mid);
        result = mid;
        if (celsius > t)
            lower = mid;
        else
            upper = mid;
        mid = (lower + upper) / 2;
    }
    return result;
}

long double ThermocoupleWithColdJunction(TThermocoupleType type, long double volts,
                                         long double ambient) {
    if (std::isnan(volts) || std::isnan(ambient))
        return NaNValue;
    const long double lo = ThermocoupleMinMicrovolts(type);
    const long double hi = ThermocoupleMaxMicrovolts(type);
    long double uv = volts * 1000000.0L;
    if (uv < lo || uv > hi || ambient < -100 || ambient > 100)
        return RefusedValue;
    uv += ThermocoupleReferenceEmf(type, ambient);
    if (uv < lo || uv > hi)
        return RefusedValue;
    return ThermocoupleTemperature(type, uv);
}

// ---- thermistor, platinum, van der Pauw, oxygen sensors ----------------------------------

long double ThermistorTemperature(long double ohms) {
    if (ohms > 32600 || ohms < 2986)
        return RefusedValue;
    return 1373.1696074919496L *
               std::pow(std::log(ohms + 52.676757508279636L), -0.2987916592541921L) -
           682.1861323649009L;
}

long double PlatinumThermopower(long double t) {
    const long double s =
        CheckedAdd(CheckedSub(CheckedDiv(90560233110.23517L, CheckedAdd(t, 2737032.9043354113L)),
                              33098.605254925606L),
                   CheckedDiv(2684.0404132984527L, CheckedAdd(t, 365.0826573170825L)));
    return s / 1000000.0L;
}

namespace {
long double VdpError(long double a, long double b, long double x) {
    return std::fabs(std::exp(-FullPi * a / x) + std::exp(-FullPi * b / x) - 1);
}
} // namespace

bool SolveVanDerPauw(long double a, long double b, long double& r, std::string& message) {
    if ((a < 0 && b > 0) || (a > 0 && b < 0)) {
        message = "Parameters are on opposing sides of zero, cannot solve.";
        return false;
    }
    if (a == 0 || b == 0) {
        message = "One or both of the parameters are zero. Cannot solve.";
        return false;
    }
    if (!std::isfinite(a) || !std::isfinite(b)) {
        message = "Parameters must be finite numbers, cannot solve.";
        return false;
    }
    r = (a + b) / (2 * std::log(2.0L));
    long double lower = r / 10000;
    long double upper = r * 10000;
    if (lower < 0 && upper < 0) {
        lower = r * 10000;
        upper = r / 10000;
    }
    for (int round = 0; round < VanDerPauwMaxRounds; ++round) {
        if (r == 0)
            r = 1e-20L;
        const long double eL = VdpError(a, b, lower);
        const long double eM = VdpError(a, b, r);
        const long double eU = VdpError(a, b, upper);
        if (eM >= eL && eU > eL) {
            const long double oldLower = lower;
            lower = lower / (1 + eL);
            r = lower;
            upper = oldLower;
        } else if (eL > eU && eM > eU) {
            lower = upper / (1 + eU);
            r = upper;
            upper = upper * (1 + eU);
        } else if (eL > eM && eU > eM) {
            upper = (upper + r) / 2;
            lower = (lower + r) / 2;
        }
        if (eM <= 1e-7L)
            return true;
    }
    message = "No solution found within the round limit, cannot solve.";
    return false;
}

long double NernstPO2(long double e, long double t, long double ref) {
    const long double tk = CheckedAdd(t, 273.15L);
    return CheckedMul(ref, CheckedExp(CheckedDiv(CheckedMul(-46421.0L, e), tk)));
}

long double NernstEmf(long double ref, long double exp, long double t) {
    const long double tk = CheckedAdd(t, 273.15L);
    return CheckedMul(CheckedMul(-4.96E-5L, tk), CheckedLog10(CheckedDiv(exp, ref)));
}

long double MoseOxygen(long double t, long double e, long double a, long double b) {
    const long double tk = CheckedAdd(t, 273.15L);
    const long double x =
        CheckedSub(CheckedSub(CheckedDiv(CheckedMul(46.4158749248346362L, CheckedMul(e, 1000)), tk),
                              CheckedDiv(a, tk)),
                   b);
    return CheckedMul(20.9L, CheckedExp(x));
}

void RandomizeFromClock() { SeedFromClock(); }

// ---- measurement start time -----------------------------------------------------------

void SetProcessMeasurementStartTime(double startTime) {
    GStartTime.store(startTime, std::memory_order_relaxed);
}

double ProcessMeasurementStartTime() { return GStartTime.load(std::memory_order_relaxed); }

double CurrentMeasurementStartTime() {
    return GCurrentStartTime ? *GCurrentStartTime : ProcessMeasurementStartTime();
}

TStartTimeScope::TStartTimeScope(const double* startTime) : FPrevious(GCurrentStartTime) {
    GCurrentStartTime = startTime;
}

TStartTimeScope::~TStartTimeScope() { GCurrentStartTime = FPrevious; }

// ---- the built-in functions -----------------------------------------------------------

namespace {

long double FAbs(long double a) { return std::fabs(a); }
long double FAtan(long double a) { return std::atan(a); }
long double FCeil(long double a) { return std::ceil(a); }
long double FCos(long double a) { return Checked1(std::cos(a), a); }
long double FCosh(long double a) { return (CheckedExp(a) + CheckedExp(-a)) * 0.5L; }
long double FCotan(long double a) { return CheckedDiv(1, Checked1(std::tan(a), a)); }
long double FElapsed(long double t, long double scale) {
    return CheckedMul(CheckedSub(t, CurrentMeasurementStartTime()), scale);
}
long double FEHour(long double t) { return FElapsed(t, 24); }
long double FEMin(long double t) { return FElapsed(t, 1440); }
long double FESec(long double t) { return FElapsed(t, 86400); }
long double FExp(long double a) { return CheckedExp(a); }
long double FFloor(long double a) { return std::floor(a); }
long double FIf(const long double* v) { return v[0] != 0 ? v[1] : v[2]; }
long double FIntPow(long double a, long double b) {
    return CheckedPower(a, static_cast<long double>(TruncToInt64(b)));
}
long double FLn(long double a) { return CheckedLn(a); }
long double FLog(long double a) { return CheckedLog10(a); }
long double FLogN(long double a, long double b) {
    const long double lnB = CheckedLn(b);
    return CheckedDiv(lnB, CheckedLn(a));
}
long double FMax(long double a, long double b) {
    return (a > b || std::isnan(a) || std::isnan(b)) ? a : b;
}
long double FMin(long double a, long double b) {
    if (std::isnan(a) || std::isnan(b))
        return a;
    return b <= a ? b : a;
}
long double FMod(long double a, long double b) {
    const std::int64_t x = TruncToInt64(a);
    const std::int64_t y = TruncToInt64(b);
    if (y == 0)
        RaiseDivByZero();
    if (y == -1)
        return 0;
    return static_cast<long double>(x % y);
}
long double FMose(const long double* v) { return MoseOxygen(v[0], v[1], v[2], v[3]); }
long double FPow(long double a, long double b) { return CheckedPower(a, b); }
long double FRandom(long double a) { return CheckedMul(RandomUnit(), a); }
long double FRnd(long double a) {
    const std::int64_t n = TruncToInt64(a);
    return static_cast<long double>(TruncToInt64(RandomUnit() * static_cast<long double>(n)));
}
long double FSign(long double a) {
    if (std::isnan(a) || a < 0)
        return -1;
    return a == 0 ? 0 : 1;
}
long double FSin(long double a) { return Checked1(std::sin(a), a); }
long double FSinh(long double a) { return (CheckedExp(a) - CheckedExp(-a)) * 0.5L; }
long double FSqr(long double a) { return CheckedMul(a, a); }
long double FSqrt(long double a) { return CheckedSqrt(a); }
long double FTan(long double a) { return Checked1(std::tan(a), a); }
long double FTck(long double v, long double t) {
    return ThermocoupleWithColdJunction(TThermocoupleType::K, v, t);
}
long double FTcs(long double v, long double t) {
    return ThermocoupleWithColdJunction(TThermocoupleType::S, v, t);
}
long double FTt2(long double r) { return ThermistorTemperature(r); }
long double FTpp(long double t) { return PlatinumThermopower(t); }
long double FTrunc(long double a) { return std::trunc(a); }
long double FVdp(long double a, long double b) {
    if (std::isnan(a) || std::isnan(b))
        return NaNValue;
    long double r = 0;
    std::string message;
    return SolveVanDerPauw(a, b, r, message) ? r : RefusedValue;
}
long double FNerPO2(const long double* v) { return NernstPO2(v[0], v[1], v[2]); }
long double FNerEmf(const long double* v) { return NernstEmf(v[0], v[1], v[2]); }

// Signature, title and explanation separated by tabs and ending in CR LF; each tab shows as
// a line break with the next part indented by two spaces.
std::string Describe(std::string text) {
    text += "\r\n";
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\t')
            out += "\r\n  ";
        else
            out += c;
    }
    return out;
}

TDefaultFunction F1(const char* name, long double (*f)(long double), const std::string& text) {
    return TDefaultFunction{name, 1, f, nullptr, nullptr, Describe(text)};
}
TDefaultFunction F2(const char* name, long double (*f)(long double, long double),
                    const std::string& text) {
    return TDefaultFunction{name, 2, nullptr, f, nullptr, Describe(text)};
}
TDefaultFunction FN(const char* name, int count, long double (*f)(const long double*),
                    const std::string& text) {
    return TDefaultFunction{name, count, nullptr, nullptr, f, Describe(text)};
}

std::string Elapsed(const char* unit) {
    return std::string("returns amount of ") + unit +
           " elapsed between the first point of any node of the measurement and the parameter "
           "T, a given time value of a node such as $N5.TI Set axis scaling to normal.";
}

std::string Thermocouple(const char* type, const char* range) {
    return std::string("Returns a temperature in °C. Parameter V is voltage (from ") + type +
           " thermocouple) with valid range of " + range +
           ". Parameter T is the ambient temperature in °C with valid range of -100°C to 100°C. "
           "Function returns -1000°C if parameters are out of valid range. For the parameter T "
           "a known room temperature can be entered or for more accurate results a true "
           "temperature can be calculated using TTT function or by other means.";
}

std::vector<TDefaultFunction> MakeDefaultFunctions() {
    const std::string nerText = "Return pO2 in ATM when E is the sensor voltage, T is the "
                                "temperature in Celsius, R is the reference gas pO2 in ATM.";
    return {
        F1("ABS", FAbs, "ABS(A)\tAbsolute value\tReturn the absolute value of A."),
        F1("ATAN", FAtan, "ATAN(A)\tArctangent\tReturns Arctangent of A."),
        F1("CEIL", FCeil, "CEIL(A)\tCeiling\tReturns the next highest integer value."),
        F1("COS", FCos, "COS(A)\tCosine\tReturns cosine of angle A."),
        F1("COSH", FCosh, "COSH(A)\tCosine hyperbolic\tReturns hyperbolic cosine of angle A."),
        F1("COTAN", FCotan, "COTAN(A)\tCotangent\tReturns Cotangent of A."),
        F1("EHour", FEHour, "EHour(T)\tElapsed hours\t" + Elapsed("hours")),
        F1("EMin", FEMin, "EMin(T)\tElapsed minutes\t" + Elapsed("minutes")),
        F1("ESec", FESec, "ESec(T)\tElapsed seconds\t" + Elapsed("seconds")),
        F1("EXP", FExp, "EXP(A)\tExponent\tReturns e raised to the power of A."),
        F1("FLOOR", FFloor, "FLOOR(A)\tFloor\tReturns the next lowest integer value."),
        FN("IF", 3, FIf,
           "IF(A,B,C)\tIf\tReturns B if A is <> 0 (A=true), returns C if A = 0 (A=false)."),
        F2("INTPOW", FIntPow,
           "INTPOW(A,B)\tInteger power\tRaises A to an integral power of B. INTPOW(2, 3) = 8 or "
           "INTPOW(2, 3.4) = 8"),
        F1("LN", FLn, "LN(A)\tLogarithm natural\tReturns natural logarithm of A."),
        F1("LOG", FLog, "LOG(A)\tLogarithm 10\tReturns 10 based logarithm of A."),
        F2("LOGN", FLogN,
           "LOGN(A,B)\tLog base\tReturns the log base A of B. Example: LOGN(10, 100) = 2 or "
           "LOGN(2,8) = 3"),
        F2("MAX", FMax, "MAX(A,B)\tMaximum\tReturns the higher of A and B"),
        F2("MIN", FMin, "MIN(A,B)\tMinimum\tReturns the lower of A and B"),
        F2("MOD", FMod,
           "MOD(A,B)\tModulus\tReturns modulus of trunc(A) / trunc(B). MOD(5,3) = 2 or "
           "MOD(5.5,3) = 2"),
        FN("MOSE", 4, FMose,
           "MOSE(T,E,A,B)\tMiniature Oxygen Sensor Assembly\tReturns pO2 when T is temperature "
           "in Kelvin, E is sensor voltage, A and B are calibration constants provided with the "
           "sensor."),
        F2("POW", FPow, "POW(A, B)\tPower\tRaises A to the power of B. Effectively same as A^B."),
        F1("RANDOM", FRandom,
           "RANDOM(A)\tRandom float\tGenerates a random floating point number such that 0 <= "
           "Result < A."),
        F1("RND", FRnd,
           "RND(A)\tRandom integer\tGenerates a random integer number such that 0 <= Result < "
           "A."),
        F1("SIGN", FSign, "SIGN(A)\tSign\tReturns -1 if A<0; +1 if A>0, 0 if A=0."),
        F1("SIN", FSin, "SIN(A)\tSine\tReturns sine of angle A."),
        F1("SINH", FSinh, "SINH(A)\tSine hyperbolic\tReturns hyperbolic sine of angle A."),
        F1("SQR", FSqr, "SQR(A)\tSquare\tReturns A squared"),
        F1("SQRT", FSqrt, "SQRT(A)\tSquare root\tReturns square root of A."),
        F1("TAN", FTan, "TAN(A)\tTangent\tReturns Tangent of A."),
        F2("TCK", FTck,
           "TCK(V; T)\tThermocouple K type\t" + Thermocouple("K-type", "-6 mV to 54 mV")),
        F2("TCS", FTcs,
           "TCS(V; T)\tThermocouple S type\t" +
               Thermocouple("S-type", "-0.235 mV to 18.693 mV")),
        F1("TT2", FTt2,
           "TT2(R)\tThermistor To Temperature\treturns a temperature in °C. Parameter R is "
           "resistance measured from thermistor (type EPCOS serie:B57861S "
           "type:B57861S0103F45)\r\n"),
        F1("TPP", FTpp,
           "TPP(T)\tThermopower Platinum\tReturns the absolute thermoelectric power of Platinum "
           "in Volts at given temperature (parameter T)."),
        F1("TRUNC", FTrunc, "TRUNC(A)\tTruncate\tDiscards the fractional part of a number."),
        F2("VDP", FVdp,
           "VDP(A; B)\tVan Der Pauw\tReturns R where exp(-Pi*A/R)+exp(-Pi*B/R)=1 Parameter A and "
           "B are resistances measured according the van der Pauw method described elsewhere in "
           "the manual. Note that A and B cannot be of opposing signs or zero. Function returns "
           "-1000 if parameters are out of valid range. To get the specific resistivity multiply "
           "with thickness of the lamellae."),
        FN("NERPO2", 3, FNerPO2, "NERPO2(E,T,R)\t" + nerText),
        FN("NEREMF", 3, FNerEmf, "NEREMF(REF,EXP,)\t" + nerText),
    };
}

} // namespace

const std::vector<TDefaultFunction>& DefaultFunctions() {
    static const std::vector<TDefaultFunction> functions = MakeDefaultFunctions();
    return functions;
}
