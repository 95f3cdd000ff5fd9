#pragma once

#include <exception>
#include <string>

// Base of the errors the expression language raises. Callers log ClassName() and Message().
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string FMessage;
};

// Floating-point faults: invalid operation, division by zero, overflow. Underflow and
// inexact results are not faults.
class EMathError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EMathError"; }
};

class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
    const char* ClassName() const noexcept override { return "EInvalidOp"; }
};

class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
    const char* ClassName() const noexcept override { return "EZeroDivide"; }
};

class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
    const char* ClassName() const noexcept override { return "EOverflow"; }
};

// Integer faults of 64-bit arithmetic.
class EIntError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EIntError"; }
};

class EDivByZero : public EIntError {
public:
    EDivByZero() : EIntError("Division by zero") {}
    const char* ClassName() const noexcept override { return "EDivByZero"; }
};

class EIntOverflow : public EIntError {
public:
    EIntOverflow() : EIntError("Integer overflow") {}
    const char* ClassName() const noexcept override { return "EIntOverflow"; }
};

// A malformed formula or a refused name. Besides the message it carries the invalid portion
// and the sub-expression that was being parsed.
class EbcParserError : public Exception {
public:
    EbcParserError(std::string message, std::string invalidPortion, std::string subExpression)
        : Exception(std::move(message)), FExp(std::move(subExpression)),
          FErr(std::move(invalidPortion)) {}
    const char* ClassName() const noexcept override { return "EbcParserError"; }
    const std::string& GetInvalidPortionOfExpression() const noexcept { return FErr; }
    const std::string& GetSubExpression() const noexcept { return FExp; }

private:
    std::string FExp;
    std::string FErr;
};

// The class name to log for any exception: ClassName() of ours, "EOutOfMemory" for a failed
// allocation, "Exception" for anything else.
const char* ExceptionClassName(const std::exception& e) noexcept;

// Raisers used by the evaluator (out of line, so the hot paths stay small).
[[noreturn]] void RaiseInvalidOp();
[[noreturn]] void RaiseZeroDivide();
[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseDivByZero();
[[noreturn]] void RaiseIntOverflow();
