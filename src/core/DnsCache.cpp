#include "DnsCache.h"

#include <windows.h>

#include "SystemLibrary.h"

void FlushResolverCache() {
    using Flush = BOOL(WINAPI*)();
    try {
        static const Flush flush = SystemFunction<Flush>("dnsapi.dll", "DnsFlushResolverCache");
        flush();
    } catch (const Failure&) {
        // No such function on this system: the cached answers simply run out in their time.
    }
}
