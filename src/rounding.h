// Rounding a double to single precision, kept.
//
// GCC's C++ front end (12 and older) only has -fexcess-precision=fast, which
// lets the optimiser carry a float temporary at double precision when it is
// used again in a double expression. Its SLP vectoriser does so: it dropped
// the rounding of the ring centre and of the unfolded position in the tube
// generator, moving vertices by one unit in the last place. The empty asm
// makes the rounded float a value the compiler has to produce as such.
// Compilers without GCC's asm (MSVC) get a volatile store instead: the same
// guarantee, at the price of a trip through memory.
// Kept on purpose: see "Exact on purpose" in README.md.
#ifndef ROUNDING_H
#define ROUNDING_H

inline float to_single(double value)
{
    float rounded = (float)value;
#if defined(__GNUC__) && defined(__x86_64__)
    __asm__("" : "+x"(rounded));  // in its SSE register, as a float
#elif defined(__GNUC__)
    __asm__("" : "+m"(rounded));
#else
    volatile float stored = rounded;
    rounded = stored;
#endif
    return rounded;
}

#endif
