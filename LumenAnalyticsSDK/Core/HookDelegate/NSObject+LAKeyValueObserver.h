// Key-value observations that register once per observer, key path and context, and that
// are taken back when either side goes away. Both sides keep a list: the observed object
// by observer, the observer by observed object (keyed by address), plus weak sets of the
// objects on the other side.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/HookDelegate/LAKVOObject.h"
#include "platform/runtime/NSHashTable.h"

namespace LumenAnalyticsSDK {

// Registers `observer` on `target` unless this observer, key path and context pair is
// registered already.
void lumen_addObserver(platform::Object& target, const platform::ObjectPtr& observer, const std::string& keyPath,
                       platform::KeyValueObservingOptions options, void* context);
// Records the observation on both sides and answers YES, or NO when there is no observer
// or key path or the same pair is recorded already.
bool lumen_shouldAddObserver(platform::Object& target, const platform::ObjectPtr& observer, const std::string* keyPath,
                             void* context);

// Run while `object` goes away: it stops observing its targets, then its observers are
// removed from it. An exception is logged, not passed on.
void lumen_removeKVOWhenDealloc(platform::Object& object);
void lumen_removeKVOTargetsWhenDealloc(platform::Object& object);
void lumen_removeKVOObserversWhenDealloc(platform::Object& object);
// Gives the root class its "lumen_dealloc" method (once), meant to be exchanged with
// "dealloc": it takes the object's observations back, then runs the exchanged dealloc.
void lumen_installKeyValueObserverMethods();

// The bookkeeping itself: address text ("%p") to the observations recorded under it.
using LAKVOObjectList = std::vector<std::shared_ptr<LAKVOObject>>;
LAKVOObjectList lumen_KVO_observerInfos(const platform::Object& object, const std::string& observerAddress);
LAKVOObjectList lumen_KVO_targetInfos(const platform::Object& object, const std::string& targetAddress);
std::shared_ptr<platform::NSHashTable> lumen_KVO_observers(const platform::Object& object);
std::shared_ptr<platform::NSHashTable> lumen_KVO_targets(const platform::Object& object);

}  // namespace LumenAnalyticsSDK
