// The runtime-facing promise: chains of handler blocks on the main queue, a given queue
// and the global queue; following another runtime-facing promise; multi-value results;
// the state accessors and description; and the generic side's view of it.
#include <gtest/gtest.h>

#include <atomic>

#include "Pledge/AnyPromise.h"
#include "platform/runloop/Thread.h"
#include "support.h"

using namespace Pledge;
using platform::Block;
using platform::Value;
using pledge_test::runUntil;
using pledge_test::testError;

namespace {

// Runs the main loop until the promise is resolved; its value as sealed.
Value settle(const AnyPromisePtr& p) {
    EXPECT_TRUE(runUntil([&] { return !p->pending(); }));
    return p->d()->value();
}

Value errorValue(int code = 1) { return platform::errorObjectValue(testError(code)); }

}  // namespace

TEST(PledgeAnyPromise, ChainsOfHandlerBlocks) {
    auto queue = platform::DispatchQueue::create("pledge.test.any");
    enum class Where { main, queue, background, none };
    struct Case {
        const char* name;
        std::function<AnyPromisePtr(std::atomic<Where>&)> chain;
        Value expected;  // compared as sealed
        Where ranOn;
    };
    auto where = [queue] {
        if (platform::DispatchQueue::isCurrent(queue)) return Where::queue;
        return platform::Thread::isMainThread() ? Where::main : Where::background;
    };
    auto error = errorValue();
    auto plusOne = [&](std::atomic<Where>& ran) {
        return Block::make([&ran, where](Value v) -> long {
            ran = where();
            return v.asInt64().value_or(0) + 1;
        });
    };
    auto recoverWith = [&](std::atomic<Where>& ran, Value result) {
        return Block::make([&ran, where, result](Value) -> Value {
            ran = where();
            return result;
        });
    };
    auto note = [&](std::atomic<Where>& ran) { return Block::make([&ran, where] { ran = where(); }); };
    auto later = AnyPromise::promiseWithResolver([](const AnyPromise::Resolve& resolve) {
        platform::DispatchQueue::global()->async([resolve] { resolve(Value("followed")); });
    });

    std::vector<Case> cases = {
        {"then on main", [&](auto& ran) { return AnyPromise::promiseWithValue(Value(1))->then(plusOne(ran)); },
         Value(2L), Where::main},
        {"then on a queue",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(1))->thenOn(queue, plusOne(ran)); }, Value(2L),
         Where::queue},
        {"then in background",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(1))->thenInBackground(plusOne(ran)); }, Value(2L),
         Where::background},
        {"then skips a rejection", [&](auto& ran) { return AnyPromise::promiseWithValue(error)->then(plusOne(ran)); },
         error, Where::none},
        {"catch without result recovers with nil",
         [&](auto& ran) {
             return AnyPromise::promiseWithValue(error)->catch_(Block::make([&ran, where](Value) { ran = where(); }));
         },
         Value(), Where::main},
        {"catch on a queue",
         [&](auto& ran) { return AnyPromise::promiseWithValue(error)->catchOn(queue, recoverWith(ran, Value("ok"))); },
         Value("ok"), Where::queue},
        {"catch in background skips a value",
         [&](auto& ran) {
             return AnyPromise::promiseWithValue(Value(5))->catchInBackground(recoverWith(ran, Value("no")));
         },
         Value(5), Where::none},
        {"ensure keeps the rejection",
         [&](auto& ran) { return AnyPromise::promiseWithValue(error)->ensure(note(ran)); }, error, Where::main},
        {"ensure on a queue",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(3))->ensureOn(queue, note(ran)); }, Value(3),
         Where::queue},
        {"ensure in background",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(3))->ensureInBackground(note(ran)); }, Value(3),
         Where::background},
        {"a returned promise is followed",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(1))->then(recoverWith(ran, Value(later))); },
         Value("followed"), Where::main},
        {"a returned error rejects",
         [&](auto& ran) { return AnyPromise::promiseWithValue(Value(1))->then(recoverWith(ran, error)); }, error,
         Where::main},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<Where> ran{Where::none};
        auto p = c.chain(ran);
        EXPECT_EQ(settle(p), c.expected);
        EXPECT_EQ(ran.load(), c.ranOn);
        EXPECT_TRUE(p->isMemberOfClass(*AnyPromise::classObject()));
    }
}

TEST(PledgeAnyPromise, MultiValueResultsAndUncallableHandlers) {
    auto pair = Value(PLGArrayWithCount(2, Value("first"), Value("second")));
    auto p = AnyPromise::promiseWithValue(pair);
    EXPECT_EQ(p->objectValue(), Value("first"));
    EXPECT_EQ(p->wait(), pair);

    Value a, b;
    auto both = p->then(Block::make([&](Value x, Value y) {
        a = x;
        b = y;
    }));
    settle(both);
    EXPECT_EQ(a, Value("first"));
    EXPECT_EQ(b, Value("second"));

    // A handler of four parameters cannot be called: the next promise is rejected with
    // the exception's name and reason instead of the chain hanging.
    auto uncallable = p->then(Block::make([](Value, Value, Value, Value) {}));
    auto error = platform::errorFromValue(settle(uncallable));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), platform::NSInvalidArgumentException);
    EXPECT_EQ(error->localizedDescription(), "Pledge: The provided block\u2019s argument count is unsupported.");
}

TEST(PledgeAnyPromise, StateDescriptionAndResolution) {
    platform::BlockPtr resolve;
    auto p = AnyPromise::initWithResolver(resolve);
    EXPECT_TRUE(p->pending());
    EXPECT_TRUE(p->fulfilled());
    EXPECT_FALSE(p->rejected());
    EXPECT_EQ(p->objectValue(), Value());
    EXPECT_EQ(p->description(), "AnyPromise(\u2026)");
    EXPECT_FALSE(p->result().has_value());
    resolve->invoke({Value(3)});
    resolve->invoke({errorValue()});  // the first resolution wins
    EXPECT_EQ(p->description(), "AnyPromise(3)");
    EXPECT_EQ(p->valueForKey("value"), Value(3));

    auto nilPromise = AnyPromise::promiseWithValue(Value());
    EXPECT_FALSE(nilPromise->pending());
    EXPECT_EQ(nilPromise->description(), "AnyPromise(nil)");
    ASSERT_TRUE(nilPromise->result().has_value());  // resolved reports a result, never "pending"
    EXPECT_EQ(nilPromise->result()->value(), Value());

    auto rejected = AnyPromise::promiseWithValue(errorValue(4));
    EXPECT_TRUE(rejected->rejected());
    EXPECT_FALSE(rejected->fulfilled());
    EXPECT_EQ(platform::errorFromValue(rejected->wait())->code(), 4);
    EXPECT_EQ(rejected->result()->error()->code(), 4);

    auto adapted = AnyPromise::promiseWithAdapterBlock(Block::make([](platform::BlockPtr adapter) {
        adapter->invoke({Value("value"), errorValue(5)});
    }));
    EXPECT_EQ(platform::errorFromValue(adapted->objectValue())->code(), 5);
    auto integer = AnyPromise::promiseWithIntegerAdapterBlock(Block::make([](platform::BlockPtr adapter) {
        adapter->invoke({Value(42), Value()});
    }));
    EXPECT_EQ(integer->objectValue(), Value(42L));
    auto boolean = AnyPromise::promiseWithBooleanAdapterBlock(Block::make([](platform::BlockPtr adapter) {
        adapter->invoke({Value(true), Value()});
    }));
    EXPECT_EQ(boolean->objectValue(), Value(true));
    auto viaBlock = AnyPromise::promiseWithResolverBlock(
        Block::make([](platform::BlockPtr resolveBlock) { resolveBlock->invoke({Value("now")}); }));
    EXPECT_EQ(viaBlock->objectValue(), Value("now"));
}

TEST(PledgeAnyPromise, GenericSideOperatorsCombinatorsAndFollowing) {
    auto nilPromise = AnyPromise::promiseWithValue(Value());
    auto pair = AnyPromise::promiseWithValue(Value(PLGArrayWithCount(2, Value(7), Value(8))));
    auto all = whenFulfilled(std::vector<AnyPromise>{*nilPromise, *pair});
    ASSERT_TRUE(runUntil([&] { return all.isResolved(); }));
    EXPECT_EQ(all.value(), (std::optional<std::vector<Value>>{{Value(), Value(7)}}));

    auto mapped = pair->map(On::inlined(), [](const Value& v) { return v.asInt64().value_or(0) * 2; });
    EXPECT_EQ(mapped.value(), 14);

    auto [typed, resolver] = Promise<int>::pending();
    auto wrapped = AnyPromise::from(typed);
    Promise<Value> follower(*wrapped);
    resolver.fulfill(5);
    EXPECT_EQ(wrapped->objectValue(), Value(5LL));
    EXPECT_EQ(follower.value(), Value(5LL));

    auto failed = AnyPromise::from(Promise<int>(testError(6)));
    EXPECT_TRUE(failed->rejected());
    EXPECT_EQ(platform::errorFromValue(failed->objectValue())->code(), 6);
    std::int64_t caught = 0;
    failed->catch_(On::inlined(), [&](const ErrorPtr& e) { caught = e->code(); });
    EXPECT_EQ(caught, 6);
}

namespace {

using platform::Arguments;
using platform::BlockPtr;

AnyPromisePtr sent(const platform::ObjectPtr& receiver, const char* selector, const Arguments& arguments = {}) {
    auto promise = receiver->perform(selector, arguments).asObject<AnyPromise>();
    EXPECT_TRUE(promise) << selector;
    return promise;
}

// A chaining selector answers a block; calling it attaches the handler.
AnyPromisePtr chained(const AnyPromisePtr& receiver, const char* selector, const Arguments& arguments) {
    auto block = receiver->perform(selector).asObject<Block>();
    EXPECT_TRUE(block) << selector;
    return block ? block->invoke(arguments).asObject<AnyPromise>() : nullptr;
}

Value queueValue(const platform::DispatchQueuePtr& queue) {
    return platform::ValueBridge<platform::DispatchQueuePtr>::to(queue);
}

}  // namespace

TEST(PledgeAnyPromise, ConstructorSelectorsAnswerThroughTheRuntime) {
    struct Case {
        const char* selector;
        Value argument;
        Value expected;  // as sealed
    };
    auto error = errorValue(5);
    std::vector<Case> cases = {
        {"promiseWithValue:", Value(1), Value(1)},
        {"promiseWithValue:", Value(), Value()},
        {"promiseWithResolverBlock:", Value(Block::make([](BlockPtr resolve) { resolve->invoke({Value("now")}); })),
         Value("now")},
        {"promiseWithAdapterBlock:", Value(Block::make([error](BlockPtr adapter) {
             adapter->invoke({Value("value"), error});
         })),
         error},
        {"promiseWithIntegerAdapterBlock:", Value(Block::make([](BlockPtr adapter) {
             adapter->invoke({Value(42), Value()});
         })),
         Value(42L)},
        {"promiseWithBooleanAdapterBlock:", Value(Block::make([](BlockPtr adapter) {
             adapter->invoke({Value(true), Value()});
         })),
         Value(true)},
    };
    static auto subclass = [] {
        auto cls = platform::Class::allocateSubclass(AnyPromise::classObject(), "PledgeTestAnyPromiseSubclass");
        platform::Class::registerClass(cls);
        return cls;
    }();
    for (const auto& receivingClass : {AnyPromise::classObject(), subclass}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(receivingClass->name() + " " + c.selector);
            auto p = sent(receivingClass, c.selector, {c.argument});
            ASSERT_TRUE(p);
            EXPECT_FALSE(p->pending());
            EXPECT_EQ(p->d()->value(), c.expected);
            EXPECT_TRUE(p->isMemberOfClass(*receivingClass));
        }
    }

    // A backing object made by its class's initialiser, wrapped by "initWith__D:".
    auto core = AnyPromiseCore::classObject()
                    ->perform("initWithResolver:",
                              {Value(Block::make([](BlockPtr resolve) { resolve->invoke({Value("inner")}); }))})
                    .asObject<AnyPromiseCore>();
    ASSERT_TRUE(core);
    auto wrapped = sent(AnyPromise::classObject(), "initWith__D:", {Value(core)});
    EXPECT_EQ(wrapped->d(), core);
    EXPECT_EQ(wrapped->perform("value"), Value("inner"));

    // "initWithResolver:" stores the resolve block in the caller's variable.
    BlockPtr resolve;
    auto pending = sent(AnyPromise::classObject(), "initWithResolver:", {platform::contextValue(&resolve)});
    ASSERT_TRUE(resolve);
    EXPECT_EQ(pending->perform("pending"), Value(true));
    resolve->invoke({Value(3)});
    EXPECT_EQ(pending->perform("value"), Value(3));
}

TEST(PledgeAnyPromise, ChainingSelectorsAnswerBlocksThroughTheRuntime) {
    auto queue = platform::DispatchQueue::create("pledge.test.selectors");
    enum class Where { main, queue, background, none };
    std::atomic<Where> ran{Where::none};
    auto where = [queue] {
        if (platform::DispatchQueue::isCurrent(queue)) return Where::queue;
        return platform::Thread::isMainThread() ? Where::main : Where::background;
    };
    auto handler = Value(Block::make([&](Value v) -> Value {
        ran = where();
        return v.isInteger() ? Value(v.asInt64().value_or(0) + 1) : Value("recovered");
    }));
    auto ensureBlock = Value(Block::make([&] { ran = where(); }));
    auto error = errorValue();
    struct Case {
        const char* selector;
        Arguments arguments;
        Value start, expected;  // as sealed
        Where ranOn;
    };
    std::vector<Case> cases = {
        {"then", {handler}, Value(1), Value(2), Where::main},
        {"thenOn", {queueValue(queue), handler}, Value(1), Value(2), Where::queue},
        {"thenInBackground", {handler}, Value(1), Value(2), Where::background},
        {"then", {handler}, error, error, Where::none},
        {"catch", {handler}, error, Value("recovered"), Where::main},
        {"catchOn", {queueValue(queue), handler}, error, Value("recovered"), Where::queue},
        {"catchInBackground", {handler}, error, Value("recovered"), Where::background},
        {"catch", {handler}, Value(1), Value(1), Where::none},
        {"ensure", {ensureBlock}, error, error, Where::main},
        {"ensureOn", {queueValue(queue), ensureBlock}, Value(3), Value(3), Where::queue},
        {"ensureInBackground", {ensureBlock}, Value(3), Value(3), Where::background},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selector);
        ran = Where::none;
        auto p = chained(AnyPromise::promiseWithValue(c.start), c.selector, c.arguments);
        ASSERT_TRUE(p);
        EXPECT_EQ(settle(p), c.expected);
        EXPECT_EQ(ran.load(), c.ranOn);
    }

    // The backing object's own chaining selectors take a queue and a block.
    struct CoreCase {
        const char* selector;
        Value block, start, expected;
    };
    for (const CoreCase& c : {CoreCase{"__thenOn:execute:", handler, Value(1), Value(2)},
                              CoreCase{"__catchOn:execute:", handler, error, Value("recovered")},
                              CoreCase{"__ensureOn:execute:", ensureBlock, Value(4), Value(4)}}) {
        SCOPED_TRACE(c.selector);
        ran = Where::none;
        auto p = sent(AnyPromise::promiseWithValue(c.start)->d(), c.selector, {queueValue(queue), c.block});
        ASSERT_TRUE(p);
        EXPECT_EQ(settle(p), c.expected);
        EXPECT_EQ(ran.load(), Where::queue);
    }
}

TEST(PledgeAnyPromise, AnEnsureBlockThatRaisesIsLoggedAndChangesNothing) {
    pledge_test::LogRecorder log;
    auto raising = Block::make([] { throw platform::NSException("PledgeTestException", "the ensure block failed"); });
    auto p = AnyPromise::promiseWithValue(Value(3))->ensureInBackground(raising);
    EXPECT_EQ(settle(p), Value(3));
    auto events = log.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].starts_with("Pledge: warning: ensure block raised: ")) << events[0];
    EXPECT_NE(events[0].find("the ensure block failed"), std::string::npos) << events[0];
}
