// Storing and reloading a website list of 1,000,000 entries through the settings store (encode,
// save, read, decode) against a plain RegSetValueExA + RegQueryValueExA of the same bytes, both
// measured in this run under a throwaway key that is deleted afterwards.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "SettingsStore.h"

namespace {

constexpr int kEntries = 1000000;
constexpr int kRounds = 3;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
    const std::string benchKey = "Software\\ParvaliskBench\\" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, benchKey.c_str());
    const SettingsStore settings(HKEY_CURRENT_USER, benchKey);

    std::vector<std::string> entries;
    entries.reserve(kEntries);
    char name[64];
    for (int i = 0; i < kEntries; ++i) {
        std::snprintf(name, sizeof name, "www.site%07d.example", i);
        entries.emplace_back(name);
    }
    const std::string bytes = EncodeWebsiteList(entries);

    HKEY plainKey = nullptr;
    const std::string plainPath = benchKey + "\\Plain";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, plainPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                        nullptr, &plainKey, nullptr) != ERROR_SUCCESS) {
        std::printf("could not create the throwaway key\n");
        return 1;
    }
    std::string readBack(bytes.size() + 1, '\0');

    double bestStore = 1e9, bestPlain = 1e9;
    bool intact = true;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        settings.Save(kKeyBlockedWebsites, EncodeWebsiteList(entries));
        std::vector<std::string> loaded = DecodeWebsiteList(settings.Get(kKeyBlockedWebsites));
        double stored = Now() - start;
        intact = intact && loaded == entries;
        bestStore = std::min(bestStore, stored);

        start = Now();
        LONG setStatus = RegSetValueExA(plainKey, "Blocked Websites", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(bytes.c_str()),
                                        static_cast<DWORD>(bytes.size() + 1));
        DWORD type = 0, size = static_cast<DWORD>(readBack.size());
        LONG getStatus = RegQueryValueExA(plainKey, "Blocked Websites", nullptr, &type,
                                          reinterpret_cast<BYTE*>(readBack.data()), &size);
        double plain = Now() - start;
        intact = intact && setStatus == ERROR_SUCCESS && getStatus == ERROR_SUCCESS &&
                 size == bytes.size() + 1 && readBack.compare(0, bytes.size(), bytes) == 0;
        bestPlain = std::min(bestPlain, plain);
        std::printf("round %d: settings store %.1f ms, plain registry %.1f ms\n", round + 1, stored * 1000,
                    plain * 1000);
    }
    RegCloseKey(plainKey);
    RegDeleteTreeA(HKEY_CURRENT_USER, benchKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ParvaliskBench");  // only when no other run still uses it

    std::printf("list of %d entries, %zu bytes stored\n", kEntries, bytes.size());
    std::printf("settings store (encode, save, read, decode): %.1f ms (best of %d)\n", bestStore * 1000,
                kRounds);
    std::printf("plain RegSetValueExA + RegQueryValueExA:     %.1f ms (best of %d)\n", bestPlain * 1000,
                kRounds);
    if (!intact) {
        std::printf("settings_store: the list did not come back intact\n");
        return 1;
    }
    const double ratio = bestStore / bestPlain;
    std::printf("settings_store: ratio %.2f (limit 5)\n", ratio);
    return ratio <= 5 ? 0 : 1;
}
