// SKYREACH_CALLER_LOCATION: the default argument for a `std::source_location` parameter that
// must hold the caller's file, line and function.
//
// clang before 17 evaluates a consteval call written in a default argument where the function
// is declared, so `std::source_location::current()` there names the declaration, not the call.
// The builtin that current() is made of is not consteval and is evaluated at the call, and its
// result is the same pointer a source_location holds, so clang gets it directly. g++ keeps
// current().
#pragma once
#include <source_location>

#if defined(__clang__) && __clang_major__ < 17
#include <bit>
#define SKYREACH_CALLER_LOCATION std::bit_cast<std::source_location>(__builtin_source_location())
#else
#define SKYREACH_CALLER_LOCATION std::source_location::current()
#endif
