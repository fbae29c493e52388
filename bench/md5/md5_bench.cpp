// MD5 of a 1 GiB file: our streaming hasher against md5sum on the same file in the same
// run. The file is written first (so both read it from the page cache), each side runs
// three times alternately, and the best times are compared. Prints the speed ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "platform/crypto/FileDigest.h"

using bench::Clock;

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) << 20 : std::size_t(1) << 30;
    bench::ScratchFolder scratch("skyreach-md5-bench");
    const std::string path = (scratch / "data.bin").string();
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<char> block(1 << 20);
        std::uint32_t x = 12345;
        for (auto& c : block) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
        for (std::size_t written = 0; written < size; written += block.size()) {
            block[0] = static_cast<char>(written >> 20);  // no two blocks alike
            out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
        }
    }

    double ours = 1e9, theirs = 1e9;
    std::string ourDigest, theirDigest;
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        auto digest = platform::md5Hex(path);
        ours = std::min(ours, bench::secondsSince(start));
        ourDigest = digest.isSuccess() ? digest.value() : "error";

        start = Clock::now();
        theirDigest = bench::md5sumOf(path);
        theirs = std::min(theirs, bench::secondsSince(start));
    }

    double mib = static_cast<double>(size) / (1 << 20);
    std::printf("file        %.0f MiB\n", mib);
    std::printf("md5Hex      %.3f s  %.0f MiB/s  %s\n", ours, mib / ours, ourDigest.c_str());
    std::printf("md5sum      %.3f s  %.0f MiB/s  %s\n", theirs, mib / theirs, theirDigest.c_str());
    std::printf("ratio       %.2f (our speed / md5sum's speed)\n", theirs / ours);
    if (ourDigest != theirDigest) {
        std::printf("digests differ\n");
        return 1;
    }
    return 0;
}
