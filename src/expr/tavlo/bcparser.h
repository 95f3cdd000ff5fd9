#pragma once

#include "tavlo/exprerrors.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TbcParser;

using TOneParamFunc = long double (*)(long double);
using TTwoParamFunc = long double (*)(long double, long double);
// Receives all argument values in argument order; reads as many as its registered count.
using TNParamFunc = long double (*)(const long double* args);
// Resolver for names that are not defined variables; value starts at 0.
using TOnVariableFoundEvent =
    std::function<void(TbcParser& sender, const std::string& name, long double& value)>;

// Case-insensitive (ASCII) ordering of names, as the name tables sort them.
struct TNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// ---------------------------------------------------------------------------------------
// Parse tree. Every node owns its children.

class TNode {
public:
    virtual ~TNode() = default;
    virtual long double GetValue() const = 0;
    // True when the sub-tree refers to the given variable storage or function.
    virtual bool IsUsed(const void* address) const = 0;
    // Folds constant sub-trees among the children.
    virtual void Optimize() {}
    // True when every child is a constant (so the node can be folded).
    virtual bool ChildrenConstant() const { return false; }
    virtual bool IsConstant() const { return false; }
};

using TNodePtr = std::unique_ptr<TNode>;

class TBasicNode final : public TNode {
public:
    explicit TBasicNode(long double value) : Value(value) {}
    long double GetValue() const override { return Value; }
    bool IsUsed(const void*) const override { return false; }
    bool IsConstant() const override { return true; }
    long double Value;
};

class TOneParamNode final : public TNode {
public:
    TOneParamNode(TNodePtr child, TOneParamFunc func) : Child(std::move(child)), Func(func) {}
    long double GetValue() const override { return Func(Child->GetValue()); }
    bool IsUsed(const void* address) const override;
    void Optimize() override;
    bool ChildrenConstant() const override;
    TNodePtr Child;
    TOneParamFunc Func;
};

class TTwoParamNode final : public TNode {
public:
    TTwoParamNode(TNodePtr left, TNodePtr right, TTwoParamFunc func)
        : Left(std::move(left)), Right(std::move(right)), Func(func) {}
    long double GetValue() const override {
        const long double left = Left->GetValue();
        return Func(left, Right->GetValue());
    }
    bool IsUsed(const void* address) const override;
    void Optimize() override;
    bool ChildrenConstant() const override;
    TNodePtr Left;
    TNodePtr Right;
    TTwoParamFunc Func;
};

class TNParamNode final : public TNode {
public:
    TNParamNode(std::vector<TNodePtr> children, TNParamFunc func)
        : Children(std::move(children)), Func(func) {}
    long double GetValue() const override;
    bool IsUsed(const void* address) const override;
    void Optimize() override;
    bool ChildrenConstant() const override;
    std::vector<TNodePtr> Children;
    TNParamFunc Func;
};

class TVarNode final : public TNode {
public:
    explicit TVarNode(const long double* var) : pVar(var) {}
    long double GetValue() const override { return *pVar; }
    bool IsUsed(const void* address) const override { return address == pVar; }
    const long double* pVar;
};

class TUnknownVarNode final : public TNode {
public:
    TUnknownVarNode(std::string name, TbcParser* parser)
        : VarName(std::move(name)), MathParser(parser) {}
    long double GetValue() const override;
    // Asked with a null address only: true when VarName is the name IsVariableUsed tests.
    bool IsUsed(const void* address) const override;
    std::string VarName;
    TbcParser* MathParser;
};

// ---------------------------------------------------------------------------------------

// The formula parser: holds one expression, parses it into a tree (folding constants when
// OptimizationOn) and evaluates it in extended precision. Parse errors raise EbcParserError;
// arithmetic faults raise EInvalidOp, EZeroDivide, EOverflow, EDivByZero or EIntOverflow.
// Construction is cheap: the built-in function table is shared until an instance changes
// its own functions.
class TbcParser {
public:
    // The most deeply nested sub-expression a formula may have (brackets, operators and
    // calls together); deeper ones are refused with an EbcParserError.
    static constexpr int MaxNesting = 1000;
    static constexpr int MaxNameLength = 255;

    TbcParser();
    virtual ~TbcParser();
    TbcParser(const TbcParser&) = delete;
    TbcParser& operator=(const TbcParser&) = delete;

    const std::string& Name() const { return FName; }
    void SetName(std::string name) { FName = std::move(name); }

    const std::string& Expression() const { return FExpression; }
    virtual void SetExpression(std::string expression);
    bool OptimizationOn() const { return FOptimizationOn; }
    void SetOptimizationOn(bool on) { FOptimizationOn = on; }
    const TOnVariableFoundEvent& OnVariableFound() const { return FOnVariableFound; }
    void SetOnVariableFound(TOnVariableFoundEvent handler) { FOnVariableFound = std::move(handler); }
    long double X() const { return GetVar("X"); }
    void SetX(long double value) { AssignVar("X", value); }
    long double Y() const { return GetVar("Y"); }
    void SetY(long double value) { AssignVar("Y", value); }

    // The measurement start time (days): setting it on any instance replaces the process-wide
    // value and becomes this instance's own, which its elapsed-time functions read.
    void SetMeasurementStartTime(double startTime);
    static double ProcessMeasurementStartTime();

    virtual void Parse();
    virtual long double Evaluate();
    virtual void CreateVar(const std::string& name, long double value);
    virtual void CreateOneParamFunc(const std::string& name, TOneParamFunc func);
    virtual void CreateTwoParamFunc(const std::string& name, TTwoParamFunc func);
    virtual void CreateNParamFunc(const std::string& name, TNParamFunc func, int argumentCount);
    // Registers the built-in function library (the constructor has done so already).
    virtual void CreateDefaultFuncs();
    virtual void CreateDefaultVars();
    virtual void AssignVar(const std::string& name, long double value);
    virtual long double GetVar(const std::string& name) const;
    virtual void DeleteVar(const std::string& name);
    virtual void DeleteFunc(const std::string& name);
    virtual void DeleteAllVars();
    virtual void DeleteAllFuncs();
    virtual std::vector<std::string> GetFunctions() const;
    virtual std::vector<std::string> GetFunctionDecriptions() const;
    virtual std::vector<std::string> GetVariables() const;
    virtual std::vector<std::string> GetVariablesUsed();
    virtual void Randomize();
    virtual void FreeParseTree();
    virtual bool IsVariableUsed(const std::string& name);
    virtual bool IsFunctionUsed(const std::string& name);

    bool IsVariable(std::string_view name) const;
    bool IsOneParamFunction(std::string_view name) const;
    bool IsTwoParamFunction(std::string_view name) const;
    bool IsNParamFunction(std::string_view name) const;
    bool IsFunction(std::string_view name) const;

    // One description per built-in function in registration order (signature, title and
    // explanation on their own lines).
    const std::vector<std::string>& FunctionDesc() const;
    bool Dirty() const { return FDirty; }
    const TNode* Root() const { return FNode.get(); }

    struct TFunctionTable;

private:
    friend class TUnknownVarNode;
    class TPieceParser;

    TFunctionTable& OwnFunctions();
    void CheckNewFunctionName(const std::string& name, bool checkNList) const;
    long double* FindVar(std::string_view name);
    const long double* FindVar(std::string_view name) const;

    bool FDirty = true;
    TNodePtr FNode;
    std::map<std::string, long double, TNameLess> FVariables;
    std::shared_ptr<TFunctionTable> FFunctions;
    bool FOptimizationOn = true;
    TOnVariableFoundEvent FOnVariableFound;
    std::string FExpression;
    std::string FName;
    double FStartTime = 0;
    bool FHasStartTime = false;
};
