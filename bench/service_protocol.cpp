// A start with a long list sends every entry to the service and reads it back there, so the
// messages must cost little more than moving their bytes. Encodes and decodes a request of
// 1,000,000 short entries and prints the time against a plain copy of the same bytes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ServiceProtocol.h"
#include "Timing.h"

namespace {

using timing::MedianTime;

}  // namespace

int main() {
    constexpr double kLimit = 6.0;  // one string per entry would pass 15
    constexpr int kRuns = 15;
    constexpr int kEntries = 1000000;

    std::vector<std::string> list;
    list.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) list.push_back("site" + std::to_string(100000 + i) + ".example");

    const std::string sent = EncodeStartBlockRequest(list, false);
    ServiceRequest request;
    size_t received = 0;
    const double messageMs = MedianTime(kRuns, [&] {
        const std::string bytes = EncodeStartBlockRequest(list, false);
        if (DecodeRequest(bytes, request) == MessageProblem::None) received = request.entries.size();
    });
    if (received != list.size() || request.entries[kEntries - 1] != list.back()) {
        std::printf("service_protocol: the list did not come back whole\n");
        return 1;
    }
    size_t copied = 0;
    const double copyMs = MedianTime(kRuns, [&] {
        const std::string copy = sent;
        copied += copy.size();
    });

    std::printf("message of %d entries: %zu bytes\n", kEntries, sent.size());
    std::printf("encode and decode: median %.2f ms; plain copy of the bytes: median %.2f ms\n", messageMs,
                copyMs);
    const double ratio = messageMs / copyMs;
    std::printf("service_protocol: ratio %.2f (limit %.0f)\n", ratio, kLimit);
    return copied != 0 && ratio <= kLimit ? 0 : 1;
}
