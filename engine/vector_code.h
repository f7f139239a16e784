#pragma once
// GCC and Clang compile vector instructions only into functions that ask for them, so the
// rest of the program still runs on a processor without them. Windows on x86-32 keeps the
// stack aligned to 4 bytes only, and vector spills need more. MSVC needs neither.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__i386__)
#define VECTOR_CODE(isa) __attribute__((target(isa), force_align_arg_pointer))
#elif defined(__GNUC__) || defined(__clang__)
#define VECTOR_CODE(isa) __attribute__((target(isa)))
#else
#define VECTOR_CODE(isa)
#endif

// For a vector function whose helpers must be compiled into it: a helper left as a call
// would run without the function's instructions.
#if defined(__GNUC__) || defined(__clang__)
#define INLINE_HELPERS __attribute__((flatten))
#else
#define INLINE_HELPERS
#endif
