// What any object carries for delegate proxying: the selectors it claims to answer on
// top of its own methods, and its proxy record.
#pragma once
#include <memory>
#include <set>
#include <string>

#include "platform/runtime/Class.h"

namespace LumenAnalyticsSDK {

class LADelegateProxyObject;

// Selector names as they cross the runtime's messages: a set value (an array reads too).
platform::Value LASelectorSetValue(const std::set<std::string>& selectors);
std::set<std::string> LASelectorNames(const platform::Value& value);

std::set<std::string> lumen_optionalSelectors(const platform::Object& object);
void lumen_setOptionalSelectors(platform::Object& object, const std::set<std::string>& selectors);

std::shared_ptr<LADelegateProxyObject> lumen_delegateObject(const platform::Object& object);
void lumen_setDelegateObject(platform::Object& object, const std::shared_ptr<LADelegateProxyObject>& delegateObject);

// Gives the root class its "lumen_respondsToSelector:" method (once): meant to be
// exchanged with "respondsToSelector:", it answers YES when the exchanged method does or
// when the selector is among the object's optional selectors.
void lumen_installDelegateProxyMethods();

}  // namespace LumenAnalyticsSDK
