#pragma once
// Clang's thread-safety annotations: which lock guards a member, which lock
// a function expects held or taken. The one build with -Wthread-safety
// checks them at compile time; other compilers see nothing.
//
// Annotate a member GUARDED_BY(mutex_) when every read and write of it
// holds mutex_, and a private helper REQUIRES(mutex_) when its callers hold
// mutex_ for it. NO_THREAD_SAFETY_ANALYSIS is for the rare function whose
// locking the analysis cannot follow, with a comment saying why it is right.

#if defined(__has_attribute)
#if __has_attribute(guarded_by)
#define VELMIRA_THREAD_ANNOTATION(x) __attribute__((x))
#endif
#endif
#ifndef VELMIRA_THREAD_ANNOTATION
#define VELMIRA_THREAD_ANNOTATION(x)
#endif

#ifndef GUARDED_BY
#define GUARDED_BY(x) VELMIRA_THREAD_ANNOTATION(guarded_by(x))
#endif

#ifndef PT_GUARDED_BY
#define PT_GUARDED_BY(x) VELMIRA_THREAD_ANNOTATION(pt_guarded_by(x))
#endif

#ifndef REQUIRES
#define REQUIRES(...) VELMIRA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#endif

#ifndef EXCLUDES
#define EXCLUDES(...) VELMIRA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#endif

#ifndef ACQUIRE
#define ACQUIRE(...) VELMIRA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#endif

#ifndef RELEASE
#define RELEASE(...) VELMIRA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#endif

#ifndef CAPABILITY
#define CAPABILITY(x) VELMIRA_THREAD_ANNOTATION(capability(x))
#endif

#ifndef SCOPED_CAPABILITY
#define SCOPED_CAPABILITY VELMIRA_THREAD_ANNOTATION(scoped_lockable)
#endif

#ifndef NO_THREAD_SAFETY_ANALYSIS
#define NO_THREAD_SAFETY_ANALYSIS VELMIRA_THREAD_ANNOTATION(no_thread_safety_analysis)
#endif
