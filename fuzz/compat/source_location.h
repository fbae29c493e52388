// Forced into every file of the fuzz build (scripts/fuzz): clang 14 lacks the builtin that
// libstdc++ 12's <source_location> is built on, so that header declares nothing there.
// This supplies the same class from the builtins clang 14 has; the header's own guard is
// set so that including it later changes nothing. Other compilers never see this file.
#pragma once
#if defined(__clang__) && !__has_builtin(__builtin_source_location)
#include <cstdint>
#define _GLIBCXX_SRCLOC 1
#define __cpp_lib_source_location 201907L
namespace std {
struct source_location {
    static constexpr source_location current(const char* file = __builtin_FILE(),
                                             const char* function = __builtin_FUNCTION(),
                                             uint_least32_t line = __builtin_LINE(),
                                             uint_least32_t column = __builtin_COLUMN()) noexcept {
        source_location where;
        where.file_ = file;
        where.function_ = function;
        where.line_ = line;
        where.column_ = column;
        return where;
    }
    constexpr source_location() noexcept = default;
    constexpr uint_least32_t line() const noexcept { return line_; }
    constexpr uint_least32_t column() const noexcept { return column_; }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }

private:
    const char* file_ = "";
    const char* function_ = "";
    uint_least32_t line_ = 0;
    uint_least32_t column_ = 0;
};
}  // namespace std
#endif
