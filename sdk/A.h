/* Base scalar types of the host SDK: fixed widths on every platform, so record layouts agree between
 * Windows x64, macOS and Linux x86-64. */
#ifndef A_H
#define A_H

#include <stddef.h>
#include <stdint.h>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef intptr_t A_intptr_t;

#endif
