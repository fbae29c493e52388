// Solving a window layout of 111 constraints (the shape of the updater's window: a
// title bar, a column of labels, a scrolling log, a progress bar, a button, a link line)
// from scratch, and re-solving it after one constant changes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "platform/appkit/ConstraintSolver.h"

using platform::ConstraintSolver;
using platform::LinearExpression;
using Rel = ConstraintSolver::Relation;

namespace {

struct Box {
    int l, t, w, h;
};

enum Attr { L, T, R, B, W, H, CX, CY };

struct Layout {
    ConstraintSolver s;
    std::vector<Box> boxes;
    int count = 0;
    ConstraintSolver::ConstraintRef editable = -1;

    int box() {
        boxes.push_back({s.addVariable(), s.addVariable(), s.addVariable(), s.addVariable()});
        return static_cast<int>(boxes.size()) - 1;
    }
    void term(LinearExpression& e, int b, Attr a, double f) {
        const Box& x = boxes[b];
        switch (a) {
            case L: e.add(x.l, f); break;
            case T: e.add(x.t, f); break;
            case R: e.add(x.l, f).add(x.w, f); break;
            case B: e.add(x.t, f).add(x.h, f); break;
            case W: e.add(x.w, f); break;
            case H: e.add(x.h, f); break;
            case CX: e.add(x.l, f).add(x.w, f / 2); break;
            case CY: e.add(x.t, f).add(x.h, f / 2); break;
        }
    }
    // a.attr (rel) b.attr2 + c, or a.attr (rel) c when b < 0
    ConstraintSolver::ConstraintRef c(int a, Attr x, Rel r, int b, Attr y, double k, double p = 1000) {
        LinearExpression e(-k);
        term(e, a, x, 1);
        if (b >= 0) term(e, b, y, -1);
        ++count;
        return s.addConstraint(e, r, p).value();
    }
    void edges(int a, int b) {
        c(a, L, Rel::equal, b, L, 0), c(a, T, Rel::equal, b, T, 0);
        c(a, R, Rel::equal, b, R, 0), c(a, B, Rel::equal, b, B, 0);
    }
    // Intrinsic size: hugging at 250, compression resistance at 750.
    void intrinsic(int a, double w, double h) {
        c(a, W, Rel::lessThanOrEqual, -1, W, w, 250), c(a, H, Rel::lessThanOrEqual, -1, H, h, 250);
        c(a, W, Rel::greaterThanOrEqual, -1, W, w, 750), c(a, H, Rel::greaterThanOrEqual, -1, H, h, 750);
    }
    void frame(int a, int sup, double x, double y, double w, double h) {
        c(a, L, Rel::equal, sup, L, x), c(a, T, Rel::equal, sup, T, y);
        c(a, W, Rel::equal, -1, W, w), c(a, H, Rel::equal, -1, H, h);
    }

    void build() {
        int frameView = box();
        c(frameView, L, Rel::equal, -1, L, 0), c(frameView, T, Rel::equal, -1, T, 0);
        c(frameView, W, Rel::equal, -1, W, 640), c(frameView, H, Rel::equal, -1, H, 480);
        int content = box();
        edges(content, frameView);
        int main = box();
        edges(main, content);
        int strip = box();
        c(strip, T, Rel::equal, content, T, 0), c(strip, R, Rel::equal, content, R, 0);
        c(strip, L, Rel::equal, content, L, 0), c(strip, H, Rel::equal, -1, H, 48);
        int rocket = box();
        c(rocket, T, Rel::equal, main, T, 57), c(rocket, L, Rel::equal, main, L, 40);
        intrinsic(rocket, 64, 64);
        int title = box();
        c(title, T, Rel::equal, main, T, 76), c(title, L, Rel::equal, main, L, 120);
        intrinsic(title, 180, 28);
        int subtitle = box();
        c(subtitle, T, Rel::equal, main, T, 116), c(subtitle, L, Rel::equal, main, L, 120);
        intrinsic(subtitle, 220, 20);
        int log = box();
        c(log, T, Rel::equal, main, T, 176), c(log, L, Rel::equal, main, L, 40);
        c(log, R, Rel::equal, main, R, -40), c(log, H, Rel::equal, -1, H, 120);
        int clip = box();
        frame(clip, log, 0, 0, 560, 120);
        int text = box();
        frame(text, clip, 0, 0, 560, 300);
        int bar = box();
        c(bar, L, Rel::equal, main, L, 40), c(bar, R, Rel::equal, main, R, -40);
        c(bar, T, Rel::equal, log, B, 20);
        int track = box();
        c(track, T, Rel::equal, bar, T, 0), c(track, L, Rel::equal, bar, L, 0);
        c(track, R, Rel::equal, bar, R, 0), c(track, H, Rel::equal, -1, H, 6);
        int ready = box();
        c(ready, T, Rel::equal, track, T, 0), c(ready, H, Rel::equal, track, H, 0);
        c(ready, L, Rel::equal, track, L, 0);
        editable = c(ready, W, Rel::equal, -1, W, 0);
        for (int side = 0; side < 2; ++side) {
            int label = box();
            c(label, B, Rel::equal, bar, B, 0);
            if (side == 0) c(label, L, Rel::equal, bar, L, 0);
            else c(label, R, Rel::equal, bar, R, 0);
            c(label, T, Rel::equal, track, B, 6);
            intrinsic(label, 60, 20);
        }
        int button = box();
        c(button, T, Rel::equal, bar, B, 26), c(button, CX, Rel::equal, main, CX, 0);
        c(button, W, Rel::equal, -1, W, 200), c(button, H, Rel::equal, -1, H, 40);
        c(button, H, Rel::equal, -1, H, 22, 999);
        int link = box();
        c(link, T, Rel::equal, button, B, 14), c(link, B, Rel::equal, main, B, -32);
        c(link, CX, Rel::equal, main, CX, 0);
        intrinsic(link, 200, 17);
        int container = box();
        c(container, T, Rel::equal, frameView, T, 0), c(container, L, Rel::equal, frameView, L, 0);
        c(container, R, Rel::equal, frameView, R, 0), c(container, H, Rel::equal, -1, H, 48, 250);
        int titlebar = box();
        edges(titlebar, container);
        int close = box();
        c(close, CY, Rel::equal, titlebar, CY, 0), c(close, L, Rel::equal, titlebar, L, 20);
        intrinsic(close, 14, 16);
        for (int i = 0; i < 2; ++i) {
            int other = box();
            c(other, CY, Rel::equal, titlebar, CY, 0), c(other, CX, Rel::equal, close, CX, 0);
            intrinsic(other, 14, 16);
        }
        c(bar, B, Rel::lessThanOrEqual, button, T, 0);
        c(link, W, Rel::lessThanOrEqual, content, W, 0);
    }
};

void fromScratch(benchmark::State& state) {
    for (auto _ : state) {
        Layout layout;
        layout.build();
        benchmark::DoNotOptimize(layout.s.value(layout.boxes.back().l));
    }
}
BENCHMARK(fromScratch)->Unit(benchmark::kMicrosecond);

void oneConstantEdit(benchmark::State& state) {
    Layout layout;
    layout.build();
    double widths[2] = {140, 420};
    int i = 0;
    for (auto _ : state) {
        layout.s.setConstant(layout.editable, -widths[i ^= 1]);
        benchmark::DoNotOptimize(layout.s.value(layout.boxes[12].w));
    }
}
BENCHMARK(oneConstantEdit)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
    Layout check;
    check.build();
    std::printf("layout: %d constraints, %zu tableau rows\n", check.count, check.s.rowCount());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
