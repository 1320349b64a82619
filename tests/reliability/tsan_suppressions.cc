// ThreadSanitizer's view of ICU in this test program. ICU's
// LocalizedNumberFormatter is documented as immutable and thread-safe; after a
// few calls it compiles itself once and publishes the result with an atomic
// store. ICU is not built with ThreadSanitizer, so that store is invisible to
// it, and the first reads on other threads look like a race on memory that
// the publishing thread allocated. The suppression covers stacks inside ICU
// only; a race in our own code still fails the run.
#if defined(__SANITIZE_THREAD__)
#define FERLO_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FERLO_TSAN_BUILD 1
#endif
#endif

#ifdef FERLO_TSAN_BUILD
extern "C" const char* __tsan_default_suppressions() { return "race:icu_*::number::impl::\n"; }
#endif
