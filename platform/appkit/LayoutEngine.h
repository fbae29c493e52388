// Solves the constraints of one view tree: each view and layout guide has four solver
// variables (left, top, width, height, y down from the root's top). Active constraints,
// views that translate their frames (and autoresizing masks), and intrinsic sizes with
// their hugging and compression priorities become solver constraints; later passes
// change only what changed.
#pragma once
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/appkit/ConstraintSolver.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class NSView;
class NSLayoutGuide;

class LayoutEngine {
public:
    // `fitting`: the root's size is free and pulled towards zero (fitting size).
    explicit LayoutEngine(NSView& root, bool fitting = false);

    // Brings the solver in line with the tree and re-solves.
    void update();
    // Places the views that do not translate their frames, and the guides, from the
    // solution. Answers whether any frame changed.
    bool applyFrames();
    // The solved rectangle of a view in the root's top-down coordinates.
    CGRect solvedRect(const void* item) const;
    std::size_t solverConstraintCount() const { return solver_.constraintCount(); }
    ConstraintSolver& solver() { return solver_; }

    // Constraints refused because they contradict required ones (for messages and tests).
    std::size_t unsatisfiableCount() const { return unsatisfiable_; }

private:
    struct Vars {
        int l, t, w, h;
    };
    struct Spec {
        LinearExpression expression;
        ConstraintSolver::Relation relation;
        double priority;
    };
    struct Installed {
        std::vector<Spec> specs;
        std::vector<int> refs;  // -1 where the solver refused the constraint
        std::uint64_t pass = 0;
        std::uint64_t generation = 0;
        std::weak_ptr<Object> source;
    };

    Vars& varsFor(const void* item);
    bool itemVars(const ObjectPtr& item, Vars& out);
    void term(LinearExpression& e, const ObjectPtr& item, const Vars& v, NSLayoutAttribute a, double factor);
    void generatedSpecs(NSView& view, std::vector<Spec>& out);
    bool constraintSpec(const NSLayoutConstraint& c, Spec& out);
    void install(const void* key, std::vector<Spec> specs, const std::shared_ptr<Object>& source,
                 std::uint64_t generation, const std::string& description);
    static bool sameShape(const Spec& a, const Spec& b);

    NSView& root_;
    bool fitting_;
    ConstraintSolver solver_;
    std::unordered_map<const void*, Vars> vars_;
    std::unordered_map<const void*, Installed> installed_;
    std::uint64_t pass_ = 0;
    std::size_t unsatisfiable_ = 0;
};

}  // namespace platform
