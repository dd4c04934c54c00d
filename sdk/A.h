/* Base scalar types of the host SDK: fixed widths on every platform, so record layouts agree between
 * Windows x64, macOS and Linux x86-64. Like the host's own header, this one brings in <stdint.h> only. */
#ifndef A_H
#define A_H

#include <stdint.h>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef char A_char;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef intptr_t A_intptr_t;

/* A time as value / scale seconds. */
typedef struct {
    A_long value;
    A_u_long scale;
} A_Time;

#endif
