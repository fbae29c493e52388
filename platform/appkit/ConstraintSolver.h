// An incremental simplex solver for linear layout constraints: required and
// prioritised equalities and inequalities, edit variables and cheap constant changes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/Result.h"

namespace platform {

// A linear expression sum(coefficient * variable) + constant over a solver's variables.
struct LinearExpression {
    std::vector<std::pair<int, double>> terms;
    double constant = 0;

    LinearExpression() = default;
    explicit LinearExpression(double c) : constant(c) {}
    LinearExpression& add(int variable, double coefficient) {
        terms.emplace_back(variable, coefficient);
        return *this;
    }
};

class ConstraintSolver {
public:
    using Variable = int;
    using ConstraintRef = int;
    enum class Relation : int { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };
    // Priorities on the 1...1000 scale of layout constraints; 1000 cannot be violated.
    static constexpr double required = 1000;

    Variable addVariable(std::string name = {});
    const std::string& name(Variable v) const { return names_[v]; }
    // The current value; a variable no constraint determines reads 0.
    double value(Variable v) const;

    // Adds `expression relation 0`. A required constraint that cannot hold together with
    // the required constraints already present fails and leaves the solver unchanged.
    Result<ConstraintRef> addConstraint(const LinearExpression& expression, Relation relation,
                                        double priority = required);
    bool removeConstraint(ConstraintRef ref);
    bool hasConstraint(ConstraintRef ref) const;
    // Changes the constant of a constraint's expression in place (no rebuild). Answers
    // false, and keeps the old constant, when a required constraint cannot take it.
    bool setConstant(ConstraintRef ref, double constant);
    double constant(ConstraintRef ref) const { return constraints_[ref].expression.constant; }

    // An edit variable is held near a suggested value at the given (non-required) priority.
    bool addEditVariable(Variable v, double priority);
    bool removeEditVariable(Variable v);
    bool hasEditVariable(Variable v) const { return edits_.count(v) != 0; }
    void suggestValue(Variable v, double value);

    std::size_t constraintCount() const { return liveConstraints_; }
    std::size_t rowCount() const { return rows_.size(); }
    void reset();

private:
    enum class Kind : std::uint8_t { external, slack, error, dummy };
    struct Cell {
        int symbol;
        double coefficient;
    };
    // basic = constant + sum(cells)
    struct Row {
        double constant = 0;
        std::vector<Cell> cells;
        double coefficientFor(int symbol) const;
        void add(int symbol, double coefficient);
        void add(const Row& other, double factor);
        void remove(int symbol);
        void reverseSign();
        void solveFor(int symbol);
        void solveFor(int lhs, int rhs);
        bool substitute(int symbol, const Row& row);
    };
    struct Record {
        LinearExpression expression;
        Relation relation = Relation::equal;
        double priority = required;
        int marker = -1;
        int other = -1;
        bool alive = false;
    };

    int newSymbol(Kind kind);
    bool restricted(int symbol) const { return kinds_[symbol] != Kind::external; }
    static double weight(double priority);
    Row createRow(Record& record);
    int chooseSubject(const Row& row, const Record& record) const;
    bool allDummies(const Row& row) const;
    bool addWithArtificialVariable(const Row& row, const Record& record);
    void insertRow(int basic, Row row);
    Row takeRow(int basic);
    Row* rowFor(int symbol);
    void substitute(int symbol, const Row& row);
    void pivot(int leaving, int entering);
    void optimize(Row& objective);
    bool dualOptimize();
    void shiftSymbol(int symbol, double amount);
    void dropColumn(int symbol);
    int markerLeavingRow(int marker) const;

    std::vector<Kind> kinds_;
    std::vector<std::string> names_;
    std::vector<int> rowIndex_;  // by symbol: index into rows_, or -1 when parametric
    std::vector<std::pair<int, Row>> rows_;
    Row objective_;
    Row* artificial_ = nullptr;
    std::vector<int> infeasible_;
    bool dummyViolated_ = false;  // a redundant required equality stopped holding
    std::vector<Record> constraints_;
    std::size_t liveConstraints_ = 0;
    struct Edit {
        ConstraintRef constraint;
        double value;
    };
    std::unordered_map<Variable, Edit> edits_;
};

}  // namespace platform
