#ifndef KXTILEFAULTINJECTION_H
#define KXTILEFAULTINJECTION_H

// A test hook of the tile manager, off unless a test arms it: makes one
// chosen block request fail exactly as an exhausted manager fails it (the
// exception handler is told, once per exhaustion, and KXBadAlloc is thrown
// with the manager's lock held), so that a test can walk every point at
// which an operation may run out of blocks:
//
//     for (long long n = 0;; ++n) {
//         KXTileFaultInjection::FailRequest(n);
//         ... run the operation ...
//         if (!KXTileFaultInjection::Fired())
//             break; // it needed fewer than n + 1 requests and succeeded
//     }
//
// A request is one MakeTile call or one MakeTiles call (whatever its count),
// counted from the arming on, over all threads. With FailRequest only the
// chosen request fails and the hook then disarms itself; with FailFrom the
// chosen request and every one after it fail (exhaustion that stays) until
// Disarm. Private to the library and its tests.

namespace KXTileFaultInjection {

// Arms the hook: requests 0 … n - 1 from now on are served as usual,
// request n fails. A negative n disarms it.
void FailRequest(long long n);
// Arms the hook so that requests 0 … n - 1 are served and every request
// from n on fails until Disarm. A negative n disarms it.
void FailFrom(long long n);
// Disarms the hook (also clears Fired()).
void Disarm();
// Whether a request has failed since the hook was last armed.
bool Fired();

} // namespace KXTileFaultInjection

#endif // KXTILEFAULTINJECTION_H
