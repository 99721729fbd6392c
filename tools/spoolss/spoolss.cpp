// The spooler's own library as the driver reaches it from a printer event:
// dropping the client's identity for the spooler's and taking it back. This
// system has one identity per thread; the library only keeps count of which
// one a thread wears, so that tests can see the driver hand it back.
#include <cstdint>

#define SPOOLSS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Nonzero while the thread runs as the spooler itself; the value is the token.
thread_local std::uintptr_t t_reverted_token = 0;
std::uintptr_t g_next_token = 0x5000;

}  // namespace

// Returns a token for the client's identity, to be handed to
// ImpersonatePrinterClient, or null when the thread already runs as the spooler.
SPOOLSS_EXPORT void* RevertToPrinterSelf() {
  if (t_reverted_token != 0) return nullptr;
  t_reverted_token = __atomic_add_fetch(&g_next_token, 4, __ATOMIC_RELAXED);
  return reinterpret_cast<void*>(t_reverted_token);
}

#ifndef SPOOLSS_WITHOUT_IMPERSONATION
// Takes the client's identity back; false for a token this thread was not given.
SPOOLSS_EXPORT int ImpersonatePrinterClient(void* token) {
  if (token == nullptr || reinterpret_cast<std::uintptr_t>(token) != t_reverted_token) return 0;
  t_reverted_token = 0;
  return 1;
}
#endif

// For tests: 1 while the calling thread runs as the spooler.
SPOOLSS_EXPORT int KlmSpoolerIsSelf() { return t_reverted_token != 0 ? 1 : 0; }
