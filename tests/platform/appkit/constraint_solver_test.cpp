// The simplex solver: a table of small systems, edits, constant changes, conflicts.
#include "platform/appkit/ConstraintSolver.h"

#include <gtest/gtest.h>

#include <functional>

using platform::ConstraintSolver;
using platform::LinearExpression;
using Rel = ConstraintSolver::Relation;

namespace {

// a*x + b*y + k  (either variable may be absent: index -1)
LinearExpression expr(int x, double a, int y, double b, double k) {
    LinearExpression e(k);
    if (x >= 0) e.add(x, a);
    if (y >= 0) e.add(y, b);
    return e;
}

struct Spec {
    int x, y;
    double a, b, k;
    Rel rel;
    double priority;
    bool accepted;
};

struct Case {
    const char* name;
    std::vector<Spec> constraints;
    double x, y;
};

class SolverTable : public testing::TestWithParam<Case> {};

TEST_P(SolverTable, SolvesToExpectedValues) {
    const Case& c = GetParam();
    ConstraintSolver s;
    int vars[2] = {s.addVariable("x"), s.addVariable("y")};
    for (const auto& spec : c.constraints) {
        auto r = s.addConstraint(
            expr(spec.x < 0 ? -1 : vars[spec.x], spec.a, spec.y < 0 ? -1 : vars[spec.y], spec.b, spec.k), spec.rel,
            spec.priority);
        EXPECT_EQ(r.isSuccess(), spec.accepted) << c.name;
    }
    EXPECT_NEAR(s.value(vars[0]), c.x, 1e-6) << c.name;
    EXPECT_NEAR(s.value(vars[1]), c.y, 1e-6) << c.name;
}

constexpr double R = ConstraintSolver::required;
const int X = 0, Y = 1, none = -1;

INSTANTIATE_TEST_SUITE_P(
    Cases, SolverTable,
    testing::Values(
        // x == 10; y == x + 5
        Case{"required equalities",
             {{X, none, 1, 0, -10, Rel::equal, R, true}, {Y, X, 1, -1, -5, Rel::equal, R, true}},
             10,
             15},
        // 10 <= x <= 20, weakly x == 100: the upper bound wins
        Case{"inequalities bound a weak wish",
             {{X, none, 1, 0, -10, Rel::greaterThanOrEqual, R, true},
              {X, none, 1, 0, -20, Rel::lessThanOrEqual, R, true},
              {X, none, 1, 0, -100, Rel::equal, 250, true}},
             20,
             0},
        Case{"lower bound against a weak zero",
             {{X, none, 1, 0, -10, Rel::greaterThanOrEqual, R, true}, {X, none, 1, 0, 0, Rel::equal, 1, true}},
             10,
             0},
        // x == 50 @250 and x == 80 @750: the stronger wins whatever the order
        Case{"stronger priority wins",
             {{X, none, 1, 0, -80, Rel::equal, 750, true}, {X, none, 1, 0, -50, Rel::equal, 250, true}},
             80,
             0},
        Case{"stronger priority wins, other order",
             {{X, none, 1, 0, -50, Rel::equal, 250, true}, {X, none, 1, 0, -80, Rel::equal, 750, true}},
             80,
             0},
        // x + y == 100 required, x == 30 @500, y == 90 @250: y yields
        Case{"weaker side yields in a shared sum",
             {{X, Y, 1, 1, -100, Rel::equal, R, true},
              {X, none, 1, 0, -30, Rel::equal, 500, true},
              {Y, none, 1, 0, -90, Rel::equal, 250, true}},
             30,
             70},
        // x == 10, then x == 20 required: refused, x stays 10
        Case{"contradicting required equality is refused",
             {{X, none, 1, 0, -10, Rel::equal, R, true},
              {X, none, 1, 0, -20, Rel::equal, R, false},
              {Y, X, 1, -2, 0, Rel::equal, R, true}},
             10,
             20},
        // x >= 10 then x <= 5: refused
        Case{"contradicting required inequality is refused",
             {{X, none, 1, 0, -10, Rel::greaterThanOrEqual, R, true},
              {X, none, 1, 0, -5, Rel::lessThanOrEqual, R, false}},
             10,
             0},
        // x == y, y == 3, x == 3: the last is redundant and accepted
        Case{"redundant required equality is accepted",
             {{X, Y, 1, -1, 0, Rel::equal, R, true},
              {Y, none, 1, 0, -3, Rel::equal, R, true},
              {X, none, 1, 0, -3, Rel::equal, R, true}},
             3,
             3}),
    [](const testing::TestParamInfo<Case>& info) {
        std::string n = info.param.name;
        for (auto& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

// A row of three boxes: left edge 0, equal widths, 10 apart, filling the container.
struct Row3 {
    ConstraintSolver s;
    int container = s.addVariable("container");
    int left[3], width[3];
    std::vector<ConstraintSolver::ConstraintRef> refs;
    Row3() {
        for (int i = 0; i < 3; ++i) left[i] = s.addVariable(), width[i] = s.addVariable();
        add(expr(left[0], 1, none, 0, 0));
        for (int i = 1; i < 3; ++i) {
            add(expr(left[i], 1, left[i - 1], -1, -10).add(width[i - 1], -1));  // left_i = left_{i-1} + w + 10
            add(expr(width[i], 1, width[0], -1, 0));
        }
        add(expr(left[2], 1, container, -1, 0).add(width[2], 1));  // right edge == container
    }
    void add(const LinearExpression& e, Rel r = Rel::equal, double p = ConstraintSolver::required) {
        refs.push_back(s.addConstraint(e, r, p).value());
    }
};

TEST(ConstraintSolver, EditVariableDrivesTheLayout) {
    Row3 row;
    ASSERT_TRUE(row.s.addEditVariable(row.container, 999));
    row.s.suggestValue(row.container, 320);
    EXPECT_NEAR(row.s.value(row.width[0]), 100, 1e-6);
    EXPECT_NEAR(row.s.value(row.left[2]), 220, 1e-6);
    row.s.suggestValue(row.container, 620);
    EXPECT_NEAR(row.s.value(row.width[1]), 200, 1e-6);
    // A required cap beats the edit.
    row.add(expr(row.width[0], 1, none, 0, -50), Rel::lessThanOrEqual);
    EXPECT_NEAR(row.s.value(row.container), 170, 1e-6);
    row.s.suggestValue(row.container, 100);
    EXPECT_NEAR(row.s.value(row.container), 100, 1e-6);
    EXPECT_NEAR(row.s.value(row.width[2]), 80.0 / 3, 1e-6);
    EXPECT_TRUE(row.s.removeEditVariable(row.container));
    EXPECT_FALSE(row.s.removeEditVariable(row.container));
}

TEST(ConstraintSolver, ConstantChangesInPlaceAndRefusesConflicts) {
    ConstraintSolver s;
    int x = s.addVariable(), y = s.addVariable();
    auto fixX = s.addConstraint(expr(x, 1, none, 0, -10), Rel::equal).value();
    s.addConstraint(expr(y, 1, x, -1, -5), Rel::equal).value();
    auto cap = s.addConstraint(expr(y, 1, none, 0, -100), Rel::lessThanOrEqual).value();
    std::size_t rows = s.rowCount();

    EXPECT_TRUE(s.setConstant(fixX, -30));
    EXPECT_NEAR(s.value(y), 35, 1e-9);
    EXPECT_EQ(s.rowCount(), rows);

    // y <= 20 would contradict x == 30: refused, everything as before.
    EXPECT_FALSE(s.setConstant(cap, -20));
    EXPECT_NEAR(s.value(x), 30, 1e-9);
    EXPECT_NEAR(s.value(y), 35, 1e-9);
    EXPECT_DOUBLE_EQ(s.constant(cap), -100);
    EXPECT_TRUE(s.setConstant(cap, -40));
    EXPECT_NEAR(s.value(y), 35, 1e-9);
}

TEST(ConstraintSolver, ConstantChangeThatBreaksARedundantEqualityIsRefused) {
    // x == y, y == 3, x == 3: the last is redundant; moving either constant alone
    // would contradict it.
    ConstraintSolver s;
    int x = s.addVariable(), y = s.addVariable();
    s.addConstraint(expr(x, 1, y, -1, 0), Rel::equal).value();
    auto fixY = s.addConstraint(expr(y, 1, none, 0, -3), Rel::equal).value();
    auto fixX = s.addConstraint(expr(x, 1, none, 0, -3), Rel::equal).value();
    for (auto [ref, k] : {std::pair{fixY, -5.0}, std::pair{fixX, -4.0}, std::pair{fixY, -1.0}}) {
        EXPECT_FALSE(s.setConstant(ref, k));
        EXPECT_NEAR(s.value(x), 3, 1e-9);
        EXPECT_NEAR(s.value(y), 3, 1e-9);
    }
    // Once the redundant one is gone the same change goes through.
    s.removeConstraint(fixX);
    EXPECT_TRUE(s.setConstant(fixY, -5));
    EXPECT_NEAR(s.value(x), 5, 1e-9);
}

TEST(ConstraintSolver, RemovingAConstraintReleasesItsEffect) {
    ConstraintSolver s;
    int x = s.addVariable();
    s.addConstraint(expr(x, 1, none, 0, -5), Rel::equal, 250).value();
    auto strong = s.addConstraint(expr(x, 1, none, 0, -40), Rel::greaterThanOrEqual).value();
    EXPECT_NEAR(s.value(x), 40, 1e-9);
    EXPECT_TRUE(s.removeConstraint(strong));
    EXPECT_FALSE(s.removeConstraint(strong));
    EXPECT_NEAR(s.value(x), 5, 1e-9);
    EXPECT_EQ(s.constraintCount(), 1u);
    // The refused constraint can be added once its rival is gone.
    auto a = s.addConstraint(expr(x, 1, none, 0, -1), Rel::equal).value();
    EXPECT_TRUE(s.addConstraint(expr(x, 1, none, 0, -2), Rel::equal).isFailure());
    s.removeConstraint(a);
    EXPECT_TRUE(s.addConstraint(expr(x, 1, none, 0, -2), Rel::equal).isSuccess());
    EXPECT_NEAR(s.value(x), 2, 1e-9);
}

}  // namespace
