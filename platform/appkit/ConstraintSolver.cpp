// The tableau, pivoting and both simplex phases of the constraint solver.
#include "platform/appkit/ConstraintSolver.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/base/Error.h"

namespace platform {
namespace {

constexpr double epsilon = 1.0e-8;
bool nearZero(double v) { return std::fabs(v) < epsilon; }

}  // namespace

// ---- rows ----

double ConstraintSolver::Row::coefficientFor(int symbol) const {
    for (const auto& c : cells)
        if (c.symbol == symbol) return c.coefficient;
    return 0;
}

void ConstraintSolver::Row::add(int symbol, double coefficient) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].symbol != symbol) continue;
        cells[i].coefficient += coefficient;
        if (nearZero(cells[i].coefficient)) {
            cells[i] = cells.back();
            cells.pop_back();
        }
        return;
    }
    if (!nearZero(coefficient)) cells.push_back({symbol, coefficient});
}

void ConstraintSolver::Row::add(const Row& other, double factor) {
    constant += other.constant * factor;
    for (const auto& c : other.cells) add(c.symbol, c.coefficient * factor);
}

void ConstraintSolver::Row::remove(int symbol) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].symbol == symbol) {
            cells[i] = cells.back();
            cells.pop_back();
            return;
        }
    }
}

void ConstraintSolver::Row::reverseSign() {
    constant = -constant;
    for (auto& c : cells) c.coefficient = -c.coefficient;
}

// From `0 = constant + a*symbol + rest` to `symbol = -(constant + rest) / a`.
void ConstraintSolver::Row::solveFor(int symbol) {
    double factor = -1.0 / coefficientFor(symbol);
    remove(symbol);
    constant *= factor;
    for (auto& c : cells) c.coefficient *= factor;
}

// From `lhs = this` to `rhs = ...` (lhs moved into the row).
void ConstraintSolver::Row::solveFor(int lhs, int rhs) {
    add(lhs, -1.0);
    solveFor(rhs);
}

bool ConstraintSolver::Row::substitute(int symbol, const Row& row) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].symbol != symbol) continue;
        double coefficient = cells[i].coefficient;
        cells[i] = cells.back();
        cells.pop_back();
        add(row, coefficient);
        return true;
    }
    return false;
}

// ---- symbols and the tableau ----

ConstraintSolver::Variable ConstraintSolver::addVariable(std::string name) {
    int s = newSymbol(Kind::external);
    names_[s] = std::move(name);
    return s;
}

int ConstraintSolver::newSymbol(Kind kind) {
    kinds_.push_back(kind);
    names_.emplace_back();
    rowIndex_.push_back(-1);
    return static_cast<int>(kinds_.size()) - 1;
}

double ConstraintSolver::value(Variable v) const {
    if (v < 0 || v >= static_cast<int>(rowIndex_.size()) || rowIndex_[v] < 0) return 0;
    return rows_[rowIndex_[v]].second.constant;
}

void ConstraintSolver::reset() { *this = ConstraintSolver(); }

// Priorities become one weight each. 1.03^p keeps a step of 100 worth a factor of about
// 19, so a constraint of priority 750 outweighs dozens at 250 without the numeric range
// that strictly ordered (symbolic) weights would need.
double ConstraintSolver::weight(double priority) { return std::pow(1.03, priority); }

ConstraintSolver::Row* ConstraintSolver::rowFor(int symbol) {
    int i = rowIndex_[symbol];
    return i < 0 ? nullptr : &rows_[i].second;
}

void ConstraintSolver::insertRow(int basic, Row row) {
    rowIndex_[basic] = static_cast<int>(rows_.size());
    rows_.emplace_back(basic, std::move(row));
}

ConstraintSolver::Row ConstraintSolver::takeRow(int basic) {
    int i = rowIndex_[basic];
    Row row = std::move(rows_[i].second);
    if (i != static_cast<int>(rows_.size()) - 1) {
        rows_[i] = std::move(rows_.back());
        rowIndex_[rows_[i].first] = i;
    }
    rows_.pop_back();
    rowIndex_[basic] = -1;
    return row;
}

void ConstraintSolver::substitute(int symbol, const Row& row) {
    for (auto& [basic, r] : rows_) {
        if (r.substitute(symbol, row) && restricted(basic) && r.constant < 0) infeasible_.push_back(basic);
    }
    objective_.substitute(symbol, row);
    if (artificial_) artificial_->substitute(symbol, row);
}

void ConstraintSolver::pivot(int leaving, int entering) {
    Row row = takeRow(leaving);
    row.solveFor(leaving, entering);
    substitute(entering, row);
    insertRow(entering, std::move(row));
}

// ---- adding constraints ----

ConstraintSolver::Row ConstraintSolver::createRow(Record& record) {
    Row row;
    row.constant = record.expression.constant;
    for (const auto& [v, c] : record.expression.terms) {
        if (nearZero(c)) continue;
        if (const Row* basic = rowFor(v)) row.add(*basic, c);
        else row.add(v, c);
    }
    bool soft = record.priority < required;
    double w = weight(record.priority);
    if (record.relation == Relation::equal) {
        if (soft) {
            int plus = newSymbol(Kind::error), minus = newSymbol(Kind::error);
            row.add(plus, -1.0);
            row.add(minus, 1.0);
            objective_.add(plus, w);
            objective_.add(minus, w);
            record.marker = plus;
            record.other = minus;
        } else {
            int dummy = newSymbol(Kind::dummy);
            row.add(dummy, 1.0);
            record.marker = dummy;
        }
    } else {
        // expr <= 0 becomes expr + slack = 0; expr >= 0 becomes expr - slack = 0.
        double sign = record.relation == Relation::lessThanOrEqual ? 1.0 : -1.0;
        int slack = newSymbol(Kind::slack);
        row.add(slack, sign);
        record.marker = slack;
        if (soft) {
            int error = newSymbol(Kind::error);
            row.add(error, -sign);
            objective_.add(error, w);
            record.other = error;
        }
    }
    if (row.constant < 0) row.reverseSign();
    return row;
}

int ConstraintSolver::chooseSubject(const Row& row, const Record& record) const {
    for (const auto& c : row.cells)
        if (kinds_[c.symbol] == Kind::external) return c.symbol;
    for (int s : {record.marker, record.other}) {
        if (s < 0) continue;
        Kind k = kinds_[s];
        if ((k == Kind::slack || k == Kind::error) && row.coefficientFor(s) < 0) return s;
    }
    return -1;
}

bool ConstraintSolver::allDummies(const Row& row) const {
    return std::all_of(row.cells.begin(), row.cells.end(),
                       [&](const Cell& c) { return kinds_[c.symbol] == Kind::dummy; });
}

Result<ConstraintSolver::ConstraintRef> ConstraintSolver::addConstraint(const LinearExpression& expression,
                                                                        Relation relation, double priority) {
    Record record;
    record.expression = expression;
    record.relation = relation;
    record.priority = std::clamp(priority, 0.0, required);
    Row row = createRow(record);
    int subject = chooseSubject(row, record);
    bool ok = true;
    if (subject < 0 && allDummies(row)) {
        if (!nearZero(row.constant)) ok = false;  // a required equality that contradicts others
        else subject = record.marker;
    }
    if (ok && subject < 0) {
        ok = addWithArtificialVariable(row, record);
    } else if (ok) {
        row.solveFor(subject);
        substitute(subject, row);
        insertRow(subject, std::move(row));
    }
    if (!ok) {
        for (int s : {record.marker, record.other})
            if (s >= 0) dropColumn(s);
        return Result<ConstraintRef>::failure(
            NSError::withDescription("ConstraintSolver", 1, "unsatisfiable required constraint"));
    }
    infeasible_.clear();
    optimize(objective_);
    record.alive = true;
    constraints_.push_back(std::move(record));
    ++liveConstraints_;
    return Result<ConstraintRef>::success(static_cast<int>(constraints_.size()) - 1);
}

// Phase one: an artificial variable stands for the row and is driven to zero. When it
// cannot reach zero the constraint conflicts with the required ones; its row is then
// dropped, which leaves a tableau equivalent to the one before the attempt.
bool ConstraintSolver::addWithArtificialVariable(const Row& row, const Record&) {
    int art = newSymbol(Kind::slack);
    insertRow(art, row);
    Row artificial = row;
    artificial_ = &artificial;
    optimize(artificial);
    artificial_ = nullptr;
    bool success = nearZero(artificial.constant);
    if (rowIndex_[art] >= 0) {
        Row r = takeRow(art);
        if (success && !r.cells.empty()) {
            int entering = -1;
            for (const auto& c : r.cells) {
                Kind k = kinds_[c.symbol];
                if (k == Kind::slack || k == Kind::error) {
                    entering = c.symbol;
                    break;
                }
            }
            if (entering < 0) {
                success = false;
            } else {
                r.solveFor(art, entering);
                substitute(entering, r);
                insertRow(entering, std::move(r));
            }
        }
    }
    dropColumn(art);
    return success;
}

void ConstraintSolver::dropColumn(int symbol) {
    if (rowIndex_[symbol] >= 0) takeRow(symbol);
    for (auto& entry : rows_) entry.second.remove(symbol);
    objective_.remove(symbol);
}

void ConstraintSolver::optimize(Row& objective) {
    for (;;) {
        int entering = -1;
        for (const auto& c : objective.cells) {
            if (kinds_[c.symbol] != Kind::dummy && c.coefficient < -epsilon && (entering < 0 || c.symbol < entering))
                entering = c.symbol;
        }
        if (entering < 0) return;
        int leaving = -1;
        double best = std::numeric_limits<double>::max();
        for (const auto& [basic, r] : rows_) {
            if (!restricted(basic)) continue;
            double c = r.coefficientFor(entering);
            if (c >= -epsilon) continue;
            double ratio = -r.constant / c;
            if (ratio < best || (ratio == best && basic < leaving)) {
                best = ratio;
                leaving = basic;
            }
        }
        if (leaving < 0) return;  // unbounded: cannot happen with non-negative error weights
        pivot(leaving, entering);
    }
}

bool ConstraintSolver::dualOptimize() {
    while (!infeasible_.empty()) {
        int leaving = infeasible_.back();
        infeasible_.pop_back();
        Row* row = rowFor(leaving);
        if (!row || row->constant >= -epsilon) continue;
        int entering = -1;
        double best = std::numeric_limits<double>::max();
        for (const auto& c : row->cells) {
            if (c.coefficient <= epsilon || kinds_[c.symbol] == Kind::dummy) continue;
            double ratio = objective_.coefficientFor(c.symbol) / c.coefficient;
            if (ratio < best) {
                best = ratio;
                entering = c.symbol;
            }
        }
        if (entering < 0) {
            infeasible_.clear();
            return false;
        }
        pivot(leaving, entering);
    }
    return true;
}

// ---- removing and changing constraints ----

int ConstraintSolver::markerLeavingRow(int marker) const {
    double r1 = std::numeric_limits<double>::max(), r2 = r1;
    int first = -1, second = -1, third = -1;
    for (const auto& [basic, r] : rows_) {
        double c = r.coefficientFor(marker);
        if (c == 0) continue;
        if (!restricted(basic)) {
            third = basic;
        } else if (c < 0) {
            double ratio = -r.constant / c;
            if (ratio < r1) r1 = ratio, first = basic;
        } else {
            double ratio = r.constant / c;
            if (ratio < r2) r2 = ratio, second = basic;
        }
    }
    return first >= 0 ? first : second >= 0 ? second : third;
}

bool ConstraintSolver::hasConstraint(ConstraintRef ref) const {
    return ref >= 0 && ref < static_cast<int>(constraints_.size()) && constraints_[ref].alive;
}

bool ConstraintSolver::removeConstraint(ConstraintRef ref) {
    if (!hasConstraint(ref)) return false;
    Record& record = constraints_[ref];
    double w = weight(record.priority);
    for (int s : {record.marker, record.other}) {
        if (s < 0 || kinds_[s] != Kind::error) continue;
        if (const Row* r = rowFor(s)) objective_.add(*r, -w);
        else objective_.add(s, -w);
    }
    if (rowIndex_[record.marker] >= 0) {
        takeRow(record.marker);
    } else {
        int leaving = markerLeavingRow(record.marker);
        if (leaving >= 0) {
            Row row = takeRow(leaving);
            row.solveFor(leaving, record.marker);
            substitute(record.marker, row);
        }
    }
    for (int s : {record.marker, record.other})
        if (s >= 0) dropColumn(s);
    infeasible_.clear();
    optimize(objective_);
    record.alive = false;
    --liveConstraints_;
    return true;
}

// Replacing the marker m by m' + amount: the tableau then describes the constraint with
// its constant moved, without rebuilding any row.
void ConstraintSolver::shiftSymbol(int symbol, double amount) {
    if (Row* row = rowFor(symbol)) {
        row->constant -= amount;
        if (kinds_[symbol] == Kind::dummy && !nearZero(row->constant)) dummyViolated_ = true;
        if (restricted(symbol) && row->constant < 0) infeasible_.push_back(symbol);
        return;
    }
    for (auto& [basic, r] : rows_) {
        double c = r.coefficientFor(symbol);
        if (c == 0) continue;
        r.constant += c * amount;
        if (kinds_[basic] == Kind::dummy && !nearZero(r.constant)) dummyViolated_ = true;
        if (restricted(basic) && r.constant < 0) infeasible_.push_back(basic);
    }
    objective_.constant += objective_.coefficientFor(symbol) * amount;
}

bool ConstraintSolver::setConstant(ConstraintRef ref, double constant) {
    if (!hasConstraint(ref)) return false;
    Record& record = constraints_[ref];
    double old = record.expression.constant;
    double delta = constant - old;
    if (delta == 0) return true;
    double markerCoefficient;
    if (record.relation == Relation::equal) markerCoefficient = record.priority < required ? -1.0 : 1.0;
    else markerCoefficient = record.relation == Relation::lessThanOrEqual ? 1.0 : -1.0;

    if (kinds_[record.marker] == Kind::dummy && rowIndex_[record.marker] >= 0) {
        // A degenerate required equality whose dummy is basic: rebuild it.
        Record copy = record;
        removeConstraint(ref);
        copy.expression.constant = constant;
        auto added = addConstraint(copy.expression, copy.relation, copy.priority);
        if (added.isFailure()) {
            copy.expression.constant = old;
            added = addConstraint(copy.expression, copy.relation, copy.priority);
        }
        if (added.isSuccess()) {
            constraints_[ref] = std::move(constraints_.back());
            constraints_.pop_back();
        }
        return constraints_[ref].expression.constant == constant;
    }

    record.expression.constant = constant;
    dummyViolated_ = false;
    shiftSymbol(record.marker, delta / markerCoefficient);
    if (dummyViolated_) {
        // A redundant required equality (a basic dummy) would no longer hold: undo the
        // shift, which restores every constant exactly.
        record.expression.constant = old;
        shiftSymbol(record.marker, -delta / markerCoefficient);
        infeasible_.clear();
        dummyViolated_ = false;
        return false;
    }
    if (dualOptimize()) return true;
    // Conflicts with the required constraints: move back. The basis stays dual feasible,
    // so the dual simplex finds the earlier solution again.
    record.expression.constant = old;
    shiftSymbol(record.marker, -delta / markerCoefficient);
    for (const auto& [basic, r] : rows_)
        if (restricted(basic) && r.constant < 0) infeasible_.push_back(basic);
    dualOptimize();
    return false;
}

// ---- edit variables ----

bool ConstraintSolver::addEditVariable(Variable v, double priority) {
    if (edits_.count(v)) return false;
    LinearExpression e;
    e.add(v, 1.0);
    auto added = addConstraint(e, Relation::equal, std::min(priority, required - 1));
    if (added.isFailure()) return false;
    edits_[v] = {added.value(), 0.0};
    return true;
}

bool ConstraintSolver::removeEditVariable(Variable v) {
    auto it = edits_.find(v);
    if (it == edits_.end()) return false;
    removeConstraint(it->second.constraint);
    edits_.erase(it);
    return true;
}

void ConstraintSolver::suggestValue(Variable v, double value) {
    auto it = edits_.find(v);
    if (it == edits_.end()) return;
    it->second.value = value;
    setConstant(it->second.constraint, -value);
}

}  // namespace platform
