/*
 * The two memory routines the compiler may call on its own, for the shipped programs, which link
 * no C runtime: a structure cleared or copied whole, or a filled array, compiles to a call to
 * memset or memcpy even where the source names neither.  Plain byte loops: the programs copy a
 * few hundred bytes at most, and nothing here may use an instruction a 386 lacks.
 *
 * The build compiles this file with -fno-tree-loop-distribute-patterns, so that the loops below
 * are not turned back into calls to themselves.
 */
#include <stddef.h>

extern "C" void *memset(void *to, int value, size_t size)
{
    unsigned char *p = static_cast<unsigned char *>(to);
    while (size-- > 0)
        *p++ = static_cast<unsigned char>(value);
    return to;
}

extern "C" void *memcpy(void *to, const void *from, size_t size)
{
    unsigned char *p = static_cast<unsigned char *>(to);
    const unsigned char *q = static_cast<const unsigned char *>(from);
    while (size-- > 0)
        *p++ = *q++;
    return to;
}
