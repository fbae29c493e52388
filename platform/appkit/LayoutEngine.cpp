// Keeping the solver in step with a view tree, and frames in step with the solution.
#include "platform/appkit/LayoutEngine.h"

#include <cmath>
#include <cstdio>

#include "platform/appkit/NSView.h"

namespace platform {

using Rel = ConstraintSolver::Relation;

LayoutEngine::LayoutEngine(NSView& root, bool fitting) : root_(root), fitting_(fitting) {}

LayoutEngine::Vars& LayoutEngine::varsFor(const void* item) {
    auto it = vars_.find(item);
    if (it != vars_.end()) return it->second;
    Vars v{solver_.addVariable(), solver_.addVariable(), solver_.addVariable(), solver_.addVariable()};
    return vars_.emplace(item, v).first->second;
}

bool LayoutEngine::itemVars(const ObjectPtr& item, Vars& out) {
    auto it = vars_.find(item.get());
    if (it == vars_.end()) return false;
    out = it->second;
    return true;
}

void LayoutEngine::term(LinearExpression& e, const ObjectPtr& item, const Vars& v, NSLayoutAttribute a, double f) {
    auto* view = dynamic_cast<NSView*>(item.get());
    switch (a) {
        case NSLayoutAttribute::left:
        case NSLayoutAttribute::leading: e.add(v.l, f); break;
        case NSLayoutAttribute::right:
        case NSLayoutAttribute::trailing: e.add(v.l, f).add(v.w, f); break;
        case NSLayoutAttribute::top: e.add(v.t, f); break;
        case NSLayoutAttribute::bottom: e.add(v.t, f).add(v.h, f); break;
        case NSLayoutAttribute::width: e.add(v.w, f); break;
        case NSLayoutAttribute::height: e.add(v.h, f); break;
        case NSLayoutAttribute::centerX: e.add(v.l, f).add(v.w, f / 2); break;
        case NSLayoutAttribute::centerY: e.add(v.t, f).add(v.h, f / 2); break;
        case NSLayoutAttribute::firstBaseline:
            e.add(v.t, f);
            e.constant += f * (view ? view->firstBaselineOffsetFromTop() : 0);
            break;
        case NSLayoutAttribute::lastBaseline:
            e.add(v.t, f).add(v.h, f);
            e.constant -= f * (view ? view->lastBaselineOffsetFromBottom() : 0);
            break;
        case NSLayoutAttribute::notAnAttribute: break;
    }
}

bool LayoutEngine::constraintSpec(const NSLayoutConstraint& c, Spec& out) {
    auto first = c.firstItem();
    Vars a{}, b{};
    if (!first || !itemVars(first, a) || c.firstAttribute() == NSLayoutAttribute::notAnAttribute) return false;
    LinearExpression e;
    term(e, first, a, c.firstAttribute(), 1);
    bool related = c.hasSecondItem() && c.secondAttribute() != NSLayoutAttribute::notAnAttribute;
    if (related) {
        auto second = c.secondItem();
        if (!second || !itemVars(second, b)) return false;
        term(e, second, b, c.secondAttribute(), -c.multiplier());
    }
    e.constant -= c.constant();
    out = {std::move(e), static_cast<Rel>(static_cast<int>(c.relation())), c.priority()};
    return true;
}

void LayoutEngine::generatedSpecs(NSView& view, std::vector<Spec>& out) {
    const Vars v = varsFor(&view);
    auto fixed = [&](int var, double value) {
        LinearExpression e(-value);
        e.add(var, 1);
        out.push_back({std::move(e), Rel::equal, ConstraintSolver::required});
    };
    CGRect f = view.frame();
    if (&view == &root_) {
        fixed(v.l, 0);
        fixed(v.t, 0);
        if (fitting_) {
            LinearExpression w, h;
            w.add(v.w, 1), h.add(v.h, 1);
            out.push_back({w, Rel::equal, NSLayoutPriorityFittingSizeCompression});
            out.push_back({h, Rel::equal, NSLayoutPriorityFittingSizeCompression});
        } else if (view.translatesAutoresizingMaskIntoConstraints()) {
            fixed(v.w, f.width());
            fixed(v.h, f.height());
        }
    } else if (view.translatesAutoresizingMaskIntoConstraints()) {
        auto super = view.superview();
        const Vars s = varsFor(super.get());
        CGRect sb = super->bounds();
        LinearExpression x(-(f.minX() - sb.minX()));
        x.add(v.l, 1).add(s.l, -1);
        out.push_back({x, Rel::equal, ConstraintSolver::required});
        LinearExpression y;
        if (super->isFlipped()) {
            y.constant = -(f.minY() - sb.minY());
            y.add(v.t, 1).add(s.t, -1);
        } else {  // top = super.top + super.height - (y + h)
            y.constant = f.minY() - sb.minY() + f.height();
            y.add(v.t, 1).add(s.t, -1).add(s.h, -1);
        }
        out.push_back({y, Rel::equal, ConstraintSolver::required});
        fixed(v.w, f.width());
        fixed(v.h, f.height());
    }
    CGSize intrinsic = view.intrinsicContentSize();
    for (int o = 0; o < 2; ++o) {
        double size = o == 0 ? intrinsic.width : intrinsic.height;
        if (size == NSViewNoIntrinsicMetric ||
            (&view == &root_ && !fitting_ && view.translatesAutoresizingMaskIntoConstraints()))
            continue;
        auto orientation = static_cast<NSLayoutConstraintOrientation>(o);
        int var = o == 0 ? v.w : v.h;
        LinearExpression e(-size);
        e.add(var, 1);
        out.push_back({e, Rel::lessThanOrEqual, view.contentHuggingPriorityForOrientation(orientation)});
        out.push_back(
            {e, Rel::greaterThanOrEqual, view.contentCompressionResistancePriorityForOrientation(orientation)});
    }
}

bool LayoutEngine::sameShape(const Spec& a, const Spec& b) {
    return a.relation == b.relation && a.priority == b.priority && a.expression.terms == b.expression.terms;
}

void LayoutEngine::install(const void* key, std::vector<Spec> specs, const std::shared_ptr<Object>& source,
                           std::uint64_t generation, const std::string& description) {
    Installed& in = installed_[key];
    in.pass = pass_;
    bool reuse = in.specs.size() == specs.size() && in.source.lock() == source;
    for (std::size_t i = 0; reuse && i < specs.size(); ++i) reuse = sameShape(in.specs[i], specs[i]);
    if (reuse) {
        for (std::size_t i = 0; i < specs.size(); ++i) {
            double k = specs[i].expression.constant;
            // Refused constraints are tried again: what they contradicted may be gone.
            if (k == in.specs[i].expression.constant && in.refs[i] >= 0) continue;
            if (in.refs[i] >= 0) {
                if (!solver_.setConstant(in.refs[i], k)) {
                    ++unsatisfiable_;
                    std::fprintf(stderr,
                                 "Unable to simultaneously satisfy constraints; keeping the previous constant of %s\n",
                                 description.c_str());
                    continue;
                }
            } else {
                auto r = solver_.addConstraint(specs[i].expression, specs[i].relation, specs[i].priority);
                if (r.isSuccess()) in.refs[i] = r.value();
            }
            in.specs[i].expression.constant = k;
        }
        in.generation = generation;
        return;
    }
    for (int ref : in.refs)
        if (ref >= 0) solver_.removeConstraint(ref);
    in.refs.clear();
    for (const auto& s : specs) {
        auto r = solver_.addConstraint(s.expression, s.relation, s.priority);
        if (r.isFailure()) {
            ++unsatisfiable_;
            std::fprintf(stderr, "Unable to simultaneously satisfy constraints; will not apply %s\n",
                         description.c_str());
        }
        in.refs.push_back(r.isSuccess() ? r.value() : -1);
    }
    in.specs = std::move(specs);
    in.source = source;
    in.generation = generation;
}

void LayoutEngine::update() {
    ++pass_;
    struct Wanted {
        const void* key;
        std::vector<Spec> specs;
        std::shared_ptr<Object> source;
        std::uint64_t generation;
        NSLayoutConstraint* constraint;
    };
    std::vector<Wanted> wanted;
    std::vector<NSView*> views;
    forEachView(root_, [&](NSView& v) {
        views.push_back(&v);
        varsFor(&v);
        for (auto& g : v.layoutGuides()) varsFor(g.get());
    });
    // Frames and intrinsic sizes first, so that a user constraint that conflicts with
    // them is the one refused.
    for (NSView* v : views) {
        std::vector<Spec> specs;
        generatedSpecs(*v, specs);
        wanted.push_back({v, std::move(specs), v->shared_from_this(), 0, nullptr});
    }
    for (NSView* v : views) {
        for (const auto& c : v->constraints()) {
            Spec spec;
            if (!c->isActive() || !constraintSpec(*c, spec)) continue;
            std::vector<Spec> one{std::move(spec)};
            wanted.push_back({c.get(), std::move(one), c, c->generation(), c.get()});
        }
    }
    // What is no longer wanted leaves first: it may be what a new constraint contradicted.
    for (auto& w : wanted) {
        auto it = installed_.find(w.key);
        if (it != installed_.end()) it->second.pass = pass_;
    }
    for (auto it = installed_.begin(); it != installed_.end();) {
        if (it->second.pass == pass_) {
            ++it;
            continue;
        }
        for (int ref : it->second.refs)
            if (ref >= 0) solver_.removeConstraint(ref);
        it = installed_.erase(it);
    }
    for (auto& w : wanted) {
        std::string description = w.constraint ? w.constraint->description() : "the frame of " + w.source->className();
        install(w.key, std::move(w.specs), w.source, w.generation, description);
    }
}

CGRect LayoutEngine::solvedRect(const void* item) const {
    auto it = vars_.find(item);
    if (it == vars_.end()) return CGRectZero;
    const Vars& v = it->second;
    auto clean = [](double x) { return std::fabs(x - std::round(x)) < 1e-7 ? std::round(x) + 0.0 : x; };
    return {clean(solver_.value(v.l)), clean(solver_.value(v.t)), clean(solver_.value(v.w)), clean(solver_.value(v.h))};
}

bool LayoutEngine::applyFrames() {
    bool changed = false;
    forEachView(root_, [&](NSView& v) {
        auto placeIn = [&](const CGRect& r, NSView& super) {
            CGRect s = solvedRect(&super);
            CGRect b = super.bounds();
            double y = super.isFlipped() ? r.minY() - s.minY() : s.height() - (r.minY() - s.minY()) - r.height();
            return CGRect{r.minX() - s.minX() + b.minX(), y + b.minY(), r.width(), r.height()};
        };
        for (auto& g : v.layoutGuides()) g->frame_ = placeIn(solvedRect(g.get()), v);
        if (&v == &root_ || v.translatesAutoresizingMaskIntoConstraints()) return;
        CGRect frame = placeIn(solvedRect(&v), *v.superview());
        if (frame != v.frame()) {
            v.setFrame(frame);
            changed = true;
        }
    });
    return changed;
}

}  // namespace platform
