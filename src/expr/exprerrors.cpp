#include "tavlo/exprerrors.h"

#include <new>

const char* ExceptionClassName(const std::exception& e) noexcept {
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->ClassName();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "EOutOfMemory";
    return "Exception";
}

void RaiseInvalidOp() { throw EInvalidOp(); }
void RaiseZeroDivide() { throw EZeroDivide(); }
void RaiseOverflow() { throw EOverflow(); }
void RaiseDivByZero() { throw EDivByZero(); }
void RaiseIntOverflow() { throw EIntOverflow(); }
