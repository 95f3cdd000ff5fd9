#include "tavlo/bcparser.h"

#include "tavlo/bcfunctions.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <locale.h>

// ---- names and texts ------------------------------------------------------------------

namespace {

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsIdentStart(char c) { return IsUpperLetter(c) || c == '_'; }
inline bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

std::string UpperName(std::string_view name) {
    std::string up(name);
    for (char& c : up)
        c = UpperAscii(c);
    return up;
}

// The name test on an upper-cased text: identifier characters only (the empty text passes).
bool IsValidName(std::string_view up) {
    if (up.empty())
        return true;
    if (!IsIdentStart(up[0]))
        return false;
    for (size_t i = 1; i < up.size(); ++i)
        if (!IsIdentChar(up[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Characters (UTF-8 code points) in a text.
size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

// The first n characters of a text.
std::string CharPrefix(std::string_view s, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == n)
                return std::string(s.substr(0, i));
            ++chars;
        }
    }
    return std::string(s);
}

// Brackets that never fall below zero and end at zero.
bool Balanced(std::string_view s) {
    int depth = 0;
    for (const char c : s) {
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth < 0)
            return false;
    }
    return depth == 0;
}

// A decimal literal: optional sign, digits with an optional '.', optional exponent. Not a
// number: "0" followed by anything but '.', a leading letter, an empty text, a value beyond
// the extended range.
bool NumberLiteral(std::string_view s, long double& value) {
    if (s.empty())
        return false;
    if (s.size() >= 2 && s[0] == '0' && s[1] != '.')
        return false;
    if (IsUpperLetter(s[0]))
        return false;
    size_t i = 0;
    const size_t n = s.size();
    const bool negative = s[0] == '-';
    if (s[i] == '+' || s[i] == '-')
        ++i;
    // Digits gathered for the exact path: up to 19 significant digits fit a 64-bit integer,
    // which, like powers of ten up to 10^27, is exact in extended precision.
    std::uint64_t mantissa = 0;
    int significant = 0;
    int scale = 0; // decimal exponent of the mantissa
    size_t digits = 0;
    auto digit = [&](char c, bool fraction) {
        ++digits;
        if (mantissa == 0 && c == '0') {
            if (fraction)
                --scale;
            return;
        }
        if (significant < 19) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++significant;
            if (fraction)
                --scale;
        } else {
            significant = 99; // too many digits for the exact path
        }
    };
    while (i < n && IsDigit(s[i]))
        digit(s[i++], false);
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && IsDigit(s[i]))
            digit(s[i++], true);
    }
    if (digits == 0)
        return false;
    int exponent = 0;
    if (i < n && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            expNegative = s[i++] == '-';
        size_t expDigits = 0;
        while (i < n && IsDigit(s[i])) {
            if (exponent < 100000)
                exponent = exponent * 10 + (s[i] - '0');
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return false;
    static constexpr long double Powers[] = {
        1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,
        1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L,
        1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
    const int e10 = scale + exponent;
    if (significant <= 19 && e10 >= -27 && e10 <= 27) {
        // One correctly rounded operation on exact operands: the same value strtold gives.
        long double v = static_cast<long double>(mantissa);
        v = e10 < 0 ? v / Powers[-e10] : v * Powers[e10];
        value = negative ? -v : v;
        return true;
    }
    // Locale-independent conversion ('.' whatever the process locale says).
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char buf[64];
    std::string longText;
    const char* text = buf;
    if (n < sizeof buf) {
        std::memcpy(buf, s.data(), n);
        buf[n] = '\0';
    } else {
        longText.assign(s);
        text = longText.c_str();
    }
    const long double v = strtold_l(text, nullptr, cLocale);
    if (std::isinf(v))
        return false;
    value = v;
    return true;
}

int OperatorLevel(char c) {
    switch (c) {
    case '|':
        return 0;
    case '&':
        return 1;
    case '!':
        return 2;
    case '=':
        return 3;
    case '<':
    case '>':
        return 4;
    case '+':
    case '-':
        return 5;
    case '*':
    case '/':
    case '%':
        return 6;
    case '^':
        return 7;
    default:
        return -1;
    }
}

// An 'E' at i (> 0, after a digit) is an exponent letter when the run of digits and '.'
// before it starts the piece (and the piece starts with a digit) or follows a character that
// is neither a letter nor '_'.
bool IsExponentLetter(std::string_view s, size_t i) {
    size_t j = i;
    while (j > 0 && (IsDigit(s[j - 1]) || s[j - 1] == '.'))
        --j;
    if (j == 0)
        return IsDigit(s[0]);
    const char before = s[j - 1];
    return !(IsUpperLetter(before) || before == '_');
}

// The 1-based position of the operator at which the piece splits, 0 for none.
size_t SplitOperator(std::string_view s) {
    int count = 0;
    int depth = 0;
    size_t best = 0;
    int bestLevel = 100;
    for (size_t i = 0; i < s.size(); ++i) {
        if (count > 2)
            return 0;
        const char c = s[i];
        if (c == '(') {
            ++depth;
            count = 0;
        } else if (c == ')') {
            --depth;
            count = 0;
        } else if (c == ' ') {
            // neither counts nor breaks a run
        } else if (const int level = OperatorLevel(c); level >= 0) {
            const char prev = i > 0 ? s[i - 1] : '\0';
            if ((c == '=' && (prev == '<' || prev == '>')) || (c == '>' && prev == '<'))
                continue; // second character of <=, >=, <>
            if (depth == 0 && count == 0 && level <= bestLevel) {
                best = i + 1;
                bestLevel = level;
            }
            ++count;
        } else if (c == 'E' && i > 0 && IsDigit(s[i - 1]) && IsExponentLetter(s, i)) {
            ++count;
        } else {
            count = 0;
        }
    }
    return best;
}

TTwoParamFunc BinaryOperator(char c, char next, size_t& length) {
    length = 1;
    switch (c) {
    case '+':
        return OpAdd;
    case '-':
        return OpSub;
    case '*':
        return OpMul;
    case '/':
        return OpDiv;
    case '%':
        return OpIntDiv;
    case '^':
        return OpPower;
    case '=':
        return OpEqual;
    case '&':
        return OpAnd;
    case '|':
        return OpOr;
    case '<':
        if (next == '=') {
            length = 2;
            return OpLessEqual;
        }
        if (next == '>') {
            length = 2;
            return OpNotEqual;
        }
        return OpLess;
    case '>':
        if (next == '=') {
            length = 2;
            return OpGreaterEqual;
        }
        return OpGreater;
    default:
        return nullptr;
    }
}

[[noreturn]] void RaiseSubExpression(std::string_view failing, std::string_view piece) {
    std::string message = "Sub expression <";
    message.append(failing).append("> in <").append(piece).append("> is not valid.");
    throw EbcParserError(std::move(message), std::string(failing), std::string(piece));
}

[[noreturn]] void RaiseNameTooLong(const std::string& name) {
    throw EbcParserError(name + " is too long. Maximum variable or function name length is " +
                             std::to_string(TbcParser::MaxNameLength) + ".",
                         CharPrefix(name, TbcParser::MaxNameLength), name);
}

thread_local const std::string* GTestedVarName = nullptr;

void Fold(TNodePtr& node) {
    node->Optimize();
    if (node->ChildrenConstant()) {
        const long double value = node->GetValue();
        node = std::make_unique<TBasicNode>(value);
    }
}

} // namespace

bool TNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

// ---- tree nodes -----------------------------------------------------------------------

bool TOneParamNode::IsUsed(const void* address) const {
    return address == reinterpret_cast<const void*>(Func) || Child->IsUsed(address);
}
void TOneParamNode::Optimize() { Fold(Child); }
bool TOneParamNode::ChildrenConstant() const { return Child->IsConstant(); }

bool TTwoParamNode::IsUsed(const void* address) const {
    return address == reinterpret_cast<const void*>(Func) || Left->IsUsed(address) ||
           Right->IsUsed(address);
}
void TTwoParamNode::Optimize() {
    Fold(Left);
    Fold(Right);
}
bool TTwoParamNode::ChildrenConstant() const {
    return Left->IsConstant() && Right->IsConstant();
}

long double TNParamNode::GetValue() const {
    const size_t n = Children.size();
    long double local[8];
    std::vector<long double> heap;
    long double* values = local;
    if (n > 8) {
        heap.resize(n);
        values = heap.data();
    }
    for (size_t i = 0; i < n; ++i)
        values[i] = Children[i]->GetValue();
    return Func(values);
}

bool TNParamNode::IsUsed(const void* address) const {
    for (const auto& child : Children)
        if (child->IsUsed(address))
            return true;
    return address == reinterpret_cast<const void*>(Func);
}

void TNParamNode::Optimize() {
    for (auto& child : Children)
        Fold(child);
}

bool TNParamNode::ChildrenConstant() const {
    for (const auto& child : Children)
        if (!child->IsConstant())
            return false;
    return true;
}

long double TUnknownVarNode::GetValue() const {
    long double value = 0;
    if (MathParser && MathParser->FOnVariableFound)
        MathParser->FOnVariableFound(*MathParser, VarName, value);
    return value;
}

bool TUnknownVarNode::IsUsed(const void* address) const {
    return address == nullptr && GTestedVarName && SameName(VarName, *GTestedVarName);
}

// ---- function tables ------------------------------------------------------------------

struct TOneEntry {
    std::string Name;
    TOneParamFunc Func;
};
struct TTwoEntry {
    std::string Name;
    TTwoParamFunc Func;
};
struct TNEntry {
    std::string Name;
    TNParamFunc Func;
    int Count;
};

struct TbcParser::TFunctionTable {
    std::vector<TOneEntry> One; // each sorted by TNameLess
    std::vector<TTwoEntry> Two;
    std::vector<TNEntry> N;
    std::vector<std::string> Desc; // registration order
};

namespace {

template <class Entry> const Entry* Find(const std::vector<Entry>& list, std::string_view name) {
    const auto it = std::lower_bound(
        list.begin(), list.end(), name,
        [](const Entry& e, std::string_view n) { return TNameLess()(e.Name, n); });
    if (it != list.end() && SameName(it->Name, name))
        return &*it;
    return nullptr;
}

template <class Entry> void Insert(std::vector<Entry>& list, Entry entry) {
    const auto it = std::lower_bound(
        list.begin(), list.end(), entry.Name,
        [](const Entry& e, const std::string& n) { return TNameLess()(e.Name, n); });
    list.insert(it, std::move(entry));
}

template <class Entry> bool Erase(std::vector<Entry>& list, std::string_view name) {
    const Entry* e = Find(list, name);
    if (!e)
        return false;
    list.erase(list.begin() + (e - list.data()));
    return true;
}

void CheckFunctionName(const TbcParser::TFunctionTable& t, const std::string& name,
                       bool checkNList) {
    if (CharCount(name) > static_cast<size_t>(TbcParser::MaxNameLength))
        RaiseNameTooLong(name);
    if (!IsValidName(UpperName(name)))
        throw EbcParserError(name + " is not a valid function name.", name, name);
    if (Find(t.One, name) || Find(t.Two, name) || (checkNList && Find(t.N, name)))
        throw EbcParserError("Function " + name + " already exists.", name, name);
}

void AddDefaultFunctions(TbcParser::TFunctionTable& t) {
    for (const TDefaultFunction& f : DefaultFunctions()) {
        CheckFunctionName(t, f.Name, f.Arity > 2);
        if (f.Arity == 1)
            Insert(t.One, TOneEntry{f.Name, f.One});
        else if (f.Arity == 2)
            Insert(t.Two, TTwoEntry{f.Name, f.Two});
        else
            Insert(t.N, TNEntry{f.Name, f.N, f.Arity});
        t.Desc.push_back(f.Description);
    }
}

const std::shared_ptr<TbcParser::TFunctionTable>& DefaultTable() {
    static const std::shared_ptr<TbcParser::TFunctionTable> table = [] {
        auto t = std::make_shared<TbcParser::TFunctionTable>();
        AddDefaultFunctions(*t);
        return t;
    }();
    return table;
}

} // namespace

// ---- piece parse ----------------------------------------------------------------------

class TbcParser::TPieceParser {
public:
    explicit TPieceParser(TbcParser& parser) : P(parser), T(*parser.FFunctions) {}

    bool Parse(std::string_view piece, TNodePtr& out, int level);

private:
    size_t NameRun(std::string_view s) const;
    // Position of the '(' after a function name and blanks, or npos.
    size_t OpenBracket(std::string_view s, size_t nameLength) const;
    void Sub(std::string_view text, std::string_view piece, TNodePtr& out, int level) {
        if (!Parse(text, out, level + 1))
            RaiseSubExpression(text, piece);
    }

    TbcParser& P;
    const TFunctionTable& T;
};

size_t TbcParser::TPieceParser::NameRun(std::string_view s) const {
    if (s.empty() || !IsIdentStart(s[0]))
        return 0;
    size_t i = 1;
    while (i < s.size() && IsIdentChar(s[i]))
        ++i;
    if (i > static_cast<size_t>(MaxNameLength))
        throw EbcParserError("Function name in " + std::string(s) +
                                 " is too long. Maximum possible name length is " +
                                 std::to_string(MaxNameLength) + ".",
                             std::string(s.substr(0, MaxNameLength)), std::string(s));
    return i;
}

size_t TbcParser::TPieceParser::OpenBracket(std::string_view s, size_t nameLength) const {
    size_t p = nameLength;
    while (p < s.size() && s[p] == ' ')
        ++p;
    if (p < s.size() && s[p] == '(')
        return p;
    return std::string_view::npos;
}

bool TbcParser::TPieceParser::Parse(std::string_view piece, TNodePtr& out, int level) {
    std::string_view s = Trim(piece);
    if (level > MaxNesting)
        throw EbcParserError("Expression " + P.FExpression +
                                 " is nested too deeply. Maximum nesting depth is " +
                                 std::to_string(MaxNesting) + ".",
                             std::string(s), std::string(s));
    // Enclosing brackets.
    std::string_view t = s;
    while (t.size() > 2 && t.front() == '(' && t.back() == ')') {
        const std::string_view u = Trim(t.substr(1, t.size() - 2));
        if (Balanced(u))
            s = u;
        t = u;
    }
    long double value = 0;
    if (NumberLiteral(s, value)) {
        out = std::make_unique<TBasicNode>(value);
        return true;
    }
    if (const long double* var = P.FindVar(s)) {
        out = std::make_unique<TVarNode>(var);
        return true;
    }
    if (P.FOnVariableFound && IsValidName(s)) {
        out = std::make_unique<TUnknownVarNode>(std::string(s), &P);
        return true;
    }
    const size_t n = s.size();
    const size_t k = SplitOperator(s);
    const bool call = n > 0 && s[n - 1] == ')';

    // One argument: prefix operator or function call.
    if (k == 1) {
        const char c = s[0];
        TOneParamFunc func = c == '!' ? OpNot : c == '+' ? OpIdentity : c == '-' ? OpNegate : nullptr;
        if (func) {
            TNodePtr child;
            Sub(s.substr(1), s, child, level);
            out = std::make_unique<TOneParamNode>(std::move(child), func);
            return true;
        }
    } else if (k == 0 && call) {
        const size_t name = NameRun(s);
        const size_t open = OpenBracket(s, name);
        if (open != std::string_view::npos && open + 2 < n) {
            if (const TOneEntry* f = Find(T.One, s.substr(0, name))) {
                TNodePtr child;
                Sub(s.substr(open + 1, n - open - 2), s, child, level);
                out = std::make_unique<TOneParamNode>(std::move(child), f->Func);
                return true;
            }
        }
    }

    // Two arguments: binary operator or function call.
    if (k > 0 && k < n) {
        const size_t at = k - 1;
        size_t length = 1;
        const TTwoParamFunc func = BinaryOperator(s[at], s[at + 1], length);
        if (func) {
            const std::string_view left = s.substr(0, at);
            const std::string_view right = s.substr(at + length);
            const bool relational = s[at] == '<' || s[at] == '>';
            if (!relational || (!left.empty() && !right.empty())) {
                TNodePtr l;
                TNodePtr r;
                Sub(left, s, l, level);
                Sub(right, s, r, level);
                out = std::make_unique<TTwoParamNode>(std::move(l), std::move(r), func);
                return true;
            }
        }
    } else if (k == 0 && call) {
        const size_t name = NameRun(s);
        const size_t open = OpenBracket(s, name);
        if (open != std::string_view::npos && open + 1 < n) {
            if (const TTwoEntry* f = Find(T.Two, s.substr(0, name))) {
                size_t comma = std::string_view::npos;
                int depth = 1;
                for (size_t i = open + 1; i + 1 < n; ++i) {
                    const char c = s[i];
                    if (c == '(')
                        ++depth;
                    else if (c == ')')
                        --depth;
                    else if (c == ',' && depth == 1 && i != n - 2)
                        comma = i;
                }
                if (comma != std::string_view::npos) {
                    TNodePtr l;
                    TNodePtr r;
                    Sub(s.substr(open + 1, comma - open - 1), s, l, level);
                    Sub(s.substr(comma + 1, n - comma - 2), s, r, level);
                    out = std::make_unique<TTwoParamNode>(std::move(l), std::move(r), f->Func);
                    return true;
                }
            }
        }
    }

    // N arguments.
    if (call) {
        const size_t name = NameRun(s);
        const size_t open = OpenBracket(s, name);
        if (open != std::string_view::npos && open + 1 < n) {
            const TNEntry* f = Find(T.N, s.substr(0, name));
            if (f && f->Count > 2) {
                std::vector<std::string_view> args;
                args.reserve(static_cast<size_t>(f->Count));
                size_t start = open + 1;
                int depth = 1;
                for (size_t i = open + 1; i + 1 < n; ++i) {
                    const char c = s[i];
                    if (c == '(') {
                        ++depth;
                    } else if (c == ')') {
                        --depth;
                    } else if (c == ',' && depth == 1 && i != n - 2) {
                        args.push_back(s.substr(start, i - start));
                        start = i + 1;
                        if (static_cast<int>(args.size()) == f->Count - 1) {
                            args.push_back(s.substr(start, n - 1 - start));
                            break;
                        }
                    }
                }
                if (static_cast<int>(args.size()) == f->Count) {
                    std::vector<TNodePtr> children(args.size());
                    for (size_t i = 0; i < args.size(); ++i)
                        Sub(args[i], s, children[i], level);
                    out = std::make_unique<TNParamNode>(std::move(children), f->Func);
                    return true;
                }
            }
        }
    }
    return false;
}

// ---- the parser -----------------------------------------------------------------------

TbcParser::TbcParser() : FFunctions(DefaultTable()) { CreateDefaultVars(); }

TbcParser::~TbcParser() = default;

void TbcParser::SetExpression(std::string expression) {
    FExpression = std::move(expression);
    FDirty = true;
}

void TbcParser::SetMeasurementStartTime(double startTime) {
    FStartTime = startTime;
    FHasStartTime = true;
    SetProcessMeasurementStartTime(startTime);
}

double TbcParser::ProcessMeasurementStartTime() { return ::ProcessMeasurementStartTime(); }

void TbcParser::Parse() {
    FDirty = true;
    if (FExpression.empty()) {
        FNode.reset();
        throw EbcParserError("Expression is empty.", std::string(), std::string());
    }
    std::string s = FExpression;
    for (char& c : s) {
        c = UpperAscii(c);
        if (c == '[' || c == '{')
            c = '(';
        else if (c == ']' || c == '}')
            c = ')';
    }
    FNode.reset();

    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '(') {
            if (++depth > MaxNesting)
                throw EbcParserError("Expression " + FExpression +
                                         " is nested too deeply. Maximum nesting depth is " +
                                         std::to_string(MaxNesting) + ".",
                                     s.substr(0, i + 1), s);
        } else if (s[i] == ')' && --depth < 0) {
            const std::string portion = s.substr(0, i + 1);
            throw EbcParserError("Bracket mismatch in expression " + s + " at index " +
                                     std::to_string(CharCount(portion)) + ".",
                                 portion, s);
        }
    }
    if (depth > 0)
        throw EbcParserError("Missing bracket \")\" in expression " + s + ".", s, s);

    TNodePtr root;
    TPieceParser pieces(*this);
    if (!pieces.Parse(s, root, 1))
        throw EbcParserError("Syntax error in expression " + FExpression, s, s);
    if (FOptimizationOn) {
        TStartTimeScope scope(FHasStartTime ? &FStartTime : nullptr);
        Fold(root);
    }
    FNode = std::move(root);
    FDirty = false;
}

long double TbcParser::Evaluate() {
    if (FDirty || !FNode)
        Parse();
    TStartTimeScope scope(FHasStartTime ? &FStartTime : nullptr);
    return FNode->GetValue();
}

long double* TbcParser::FindVar(std::string_view name) {
    const auto it = FVariables.find(name);
    return it == FVariables.end() ? nullptr : &it->second;
}

const long double* TbcParser::FindVar(std::string_view name) const {
    const auto it = FVariables.find(name);
    return it == FVariables.end() ? nullptr : &it->second;
}

void TbcParser::CreateVar(const std::string& name, long double value) {
    if (CharCount(name) > static_cast<size_t>(MaxNameLength))
        RaiseNameTooLong(name);
    if (!IsValidName(UpperName(name)))
        throw EbcParserError(name + " is not a valid variable name.", name, name);
    if (long double* var = FindVar(name)) {
        *var = value;
        return;
    }
    FVariables.emplace(name, value);
    FDirty = true;
}

TbcParser::TFunctionTable& TbcParser::OwnFunctions() {
    if (FFunctions.use_count() > 1)
        FFunctions = std::make_shared<TFunctionTable>(*FFunctions);
    return *FFunctions;
}

void TbcParser::CheckNewFunctionName(const std::string& name, bool checkNList) const {
    CheckFunctionName(*FFunctions, name, checkNList);
}

void TbcParser::CreateOneParamFunc(const std::string& name, TOneParamFunc func) {
    CheckNewFunctionName(name, false);
    Insert(OwnFunctions().One, TOneEntry{name, func});
    FDirty = true;
}

void TbcParser::CreateTwoParamFunc(const std::string& name, TTwoParamFunc func) {
    CheckNewFunctionName(name, false);
    Insert(OwnFunctions().Two, TTwoEntry{name, func});
    FDirty = true;
}

void TbcParser::CreateNParamFunc(const std::string& name, TNParamFunc func, int argumentCount) {
    CheckNewFunctionName(name, true);
    Insert(OwnFunctions().N, TNEntry{name, func, argumentCount});
    FDirty = true;
}

void TbcParser::CreateDefaultFuncs() {
    AddDefaultFunctions(OwnFunctions());
    FDirty = true;
}

void TbcParser::CreateDefaultVars() {
    CreateVar("PI", 3.14159265358979L);
    CreateVar("X", 0);
    CreateVar("Y", 0);
}

void TbcParser::AssignVar(const std::string& name, long double value) {
    if (long double* var = FindVar(name))
        *var = value;
    else
        CreateVar(name, value);
}

long double TbcParser::GetVar(const std::string& name) const {
    if (const long double* var = FindVar(name))
        return *var;
    throw EbcParserError("Variable " + name + " is not found.", name, name);
}

void TbcParser::DeleteVar(const std::string& name) {
    const auto it = FVariables.find(std::string_view(name));
    if (it == FVariables.end())
        return;
    // The tree may point at the storage: it goes with it.
    FNode.reset();
    FVariables.erase(it);
    FDirty = true;
}

void TbcParser::DeleteFunc(const std::string& name) {
    if (!IsFunction(name))
        return;
    TFunctionTable& t = OwnFunctions();
    if (!Erase(t.One, name) && !Erase(t.Two, name))
        Erase(t.N, name);
    FDirty = true;
}

void TbcParser::DeleteAllVars() {
    FNode.reset();
    FVariables.clear();
    FDirty = true;
}

void TbcParser::DeleteAllFuncs() {
    auto t = std::make_shared<TFunctionTable>();
    t->Desc = FFunctions->Desc;
    FFunctions = std::move(t);
    FDirty = true;
}

std::vector<std::string> TbcParser::GetFunctions() const {
    std::vector<std::string> names;
    const TFunctionTable& t = *FFunctions;
    names.reserve(t.One.size() + t.Two.size() + t.N.size());
    for (const auto& e : t.One)
        names.push_back(e.Name);
    for (const auto& e : t.Two)
        names.push_back(e.Name);
    for (const auto& e : t.N)
        names.push_back(e.Name);
    std::stable_sort(names.begin(), names.end(), TNameLess());
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) { return SameName(a, b); }),
                names.end());
    return names;
}

std::vector<std::string> TbcParser::GetFunctionDecriptions() const {
    std::vector<std::string> list = FFunctions->Desc;
    std::stable_sort(list.begin(), list.end(), TNameLess());
    return list;
}

const std::vector<std::string>& TbcParser::FunctionDesc() const { return FFunctions->Desc; }

std::vector<std::string> TbcParser::GetVariables() const {
    std::vector<std::string> names;
    names.reserve(FVariables.size());
    for (const auto& [name, value] : FVariables)
        names.push_back(name);
    return names;
}

namespace {
// Unknown-variable names in tree order: left before right, N-argument children last to first.
void CollectUnknown(const TNode* node, std::vector<std::string>& out) {
    if (const auto* u = dynamic_cast<const TUnknownVarNode*>(node)) {
        out.push_back(u->VarName);
    } else if (const auto* one = dynamic_cast<const TOneParamNode*>(node)) {
        CollectUnknown(one->Child.get(), out);
    } else if (const auto* two = dynamic_cast<const TTwoParamNode*>(node)) {
        CollectUnknown(two->Left.get(), out);
        CollectUnknown(two->Right.get(), out);
    } else if (const auto* many = dynamic_cast<const TNParamNode*>(node)) {
        for (auto it = many->Children.rbegin(); it != many->Children.rend(); ++it)
            CollectUnknown(it->get(), out);
    }
}
} // namespace

std::vector<std::string> TbcParser::GetVariablesUsed() {
    std::vector<std::string> used;
    if (FDirty && !FExpression.empty())
        Parse();
    if (!FNode)
        return used;
    for (const std::string& name : GetVariables())
        if (IsVariableUsed(name))
            used.push_back(name);
    CollectUnknown(FNode.get(), used);
    return used;
}

void TbcParser::Randomize() { RandomizeFromClock(); }

void TbcParser::FreeParseTree() {
    FNode.reset();
    FDirty = true;
}

bool TbcParser::IsVariableUsed(const std::string& name) {
    Parse();
    if (const long double* var = FindVar(name))
        return FNode->IsUsed(var);
    if (!FOnVariableFound)
        return false;
    const std::string* previous = GTestedVarName;
    GTestedVarName = &name;
    const bool used = FNode->IsUsed(nullptr);
    GTestedVarName = previous;
    return used;
}

bool TbcParser::IsFunctionUsed(const std::string& name) {
    Parse();
    const TFunctionTable& t = *FFunctions;
    if (const TOneEntry* f = Find(t.One, name); f && FNode->IsUsed(reinterpret_cast<const void*>(f->Func)))
        return true;
    if (const TTwoEntry* f = Find(t.Two, name); f && FNode->IsUsed(reinterpret_cast<const void*>(f->Func)))
        return true;
    if (const TNEntry* f = Find(t.N, name); f && FNode->IsUsed(reinterpret_cast<const void*>(f->Func)))
        return true;
    return false;
}

bool TbcParser::IsVariable(std::string_view name) const { return FindVar(name) != nullptr; }
bool TbcParser::IsOneParamFunction(std::string_view name) const {
    return Find(FFunctions->One, name) != nullptr;
}
bool TbcParser::IsTwoParamFunction(std::string_view name) const {
    return Find(FFunctions->Two, name) != nullptr;
}
bool TbcParser::IsNParamFunction(std::string_view name) const {
    return Find(FFunctions->N, name) != nullptr;
}
bool TbcParser::IsFunction(std::string_view name) const {
    return IsOneParamFunction(name) || IsTwoParamFunction(name) || IsNParamFunction(name);
}
