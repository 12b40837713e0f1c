#pragma once
// The system resolver's cache. Windows' DNS Client keeps the answers it already has (positive
// ones until their time to live runs out, failures for minutes), so a site that was just blocked
// (or unblocked) in the hosts file would stay reachable (or unreachable) for programs that ask it
// until then.

// Asks the DNS Client to forget its answers, as "ipconfig /flushdns" does. Best effort: a
// missing function or a refused call changes nothing and says nothing. The DNS library is bound
// at the first flush, so start-up does not load it.
void FlushResolverCache();
