// The entry point every fuzz target defines, and what the targets share. libFuzzer calls
// the entry point with generated inputs; replay_main.cpp calls it with the kept inputs,
// so ctest replays them without libFuzzer.
#pragma once
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

inline std::string_view fuzzText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// An oracle's verdict: a broken property of the code under test aborts, so libFuzzer keeps
// the input and the ctest replay fails.
inline void fuzzCheck(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
    std::abort();
}

// The first line of `text` (without its newline) and what follows it.
inline std::pair<std::string_view, std::string_view> fuzzFirstLine(std::string_view text) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) return {text, {}};
    return {text.substr(0, end), text.substr(end + 1)};
}

inline bool fuzzSameValue(const platform::Value& a, const platform::Value& b);

inline bool fuzzSameValues(const std::vector<platform::Value>& a, const std::vector<platform::Value>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!fuzzSameValue(a[i], b[i])) return false;
    return true;
}

// Values equal as a reader gives them back: numbers by value, and a NaN (a number or a
// date's seconds) equal to a NaN; set members in the order they were read.
inline bool fuzzSameValue(const platform::Value& a, const platform::Value& b) {
    using Kind = platform::Value::Kind;
    if (a.kind() == Kind::real && b.kind() == Kind::real && std::isnan(*a.asDouble())) return std::isnan(*b.asDouble());
    if (a.kind() == Kind::date && b.kind() == Kind::date && std::isnan(a.asDate()->timeIntervalSinceReferenceDate))
        return std::isnan(b.asDate()->timeIntervalSinceReferenceDate);
    if (a.kind() != b.kind()) return a == b;
    if (auto x = a.asArray()) return fuzzSameValues(*x, *b.asArray());
    if (auto x = a.asSet()) return fuzzSameValues(x->members, b.asSet()->members);
    if (a.kind() != Kind::dictionary) return a == b;
    const auto &x = *a.asDictionary(), &y = *b.asDictionary();
    if (x.size() != y.size()) return false;
    for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
        if (i->first != j->first || !fuzzSameValue(i->second, j->second)) return false;
    return true;
}

// A folder of this process's own for what a target writes, made on first use (below
// $TMPDIR) and removed at exit; never destroyed, so the exit handler can read it.
inline const std::string& fuzzScratchFolder() {
    static const std::string* folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        auto* pattern = new std::string(std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/skyreach-fuzz-XXXXXX");
        if (!::mkdtemp(pattern->data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(fuzzScratchFolder()); });
        return pattern;
    }();
    return *folder;
}

// Empties the scratch folder (what a target writes is at most a few hundred levels deep).
inline void fuzzEmptyScratchFolder() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(fuzzScratchFolder(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

// Writes `bytes` to `path`, aborting when it cannot (the target could test nothing).
inline void fuzzWriteFile(const std::string& path, std::string_view bytes) {
    // An empty input may come with a null pointer, which fwrite must not be given even for
    // zero bytes.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) std::abort();
}
