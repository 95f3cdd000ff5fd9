#pragma once

#include "tavlo/bcparser.h"

#include <gtest/gtest.h>

#include <string>

// Evaluates with a fresh parser, as the program's callers do.
inline long double Eval(const std::string& expression) {
    TbcParser parser;
    parser.SetExpression(expression);
    return parser.Evaluate();
}

// The class name of what evaluating raises, or "none".
inline std::string Raised(const std::string& expression) {
    try {
        Eval(expression);
    } catch (const Exception& e) {
        return e.ClassName();
    }
    return "none";
}

struct TParserErrorText {
    std::string Message;
    std::string Invalid;
    std::string Sub;
};

// The parser error that evaluating raises (fails the test when there is none).
inline TParserErrorText ParserError(TbcParser& parser) {
    try {
        parser.Evaluate();
    } catch (const EbcParserError& e) {
        return {e.Message(), e.GetInvalidPortionOfExpression(), e.GetSubExpression()};
    }
    ADD_FAILURE() << "no parser error for " << parser.Expression();
    return {};
}

inline TParserErrorText ParserError(const std::string& expression) {
    TbcParser parser;
    parser.SetExpression(expression);
    return ParserError(parser);
}
