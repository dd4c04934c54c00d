/* Scalar types shared by the host's drawing suites. */
#ifndef ADOBESDK_CONFIG_TYPES_H
#define ADOBESDK_CONFIG_TYPES_H

#include <stdint.h>

typedef uint16_t DRAWBOT_UTF16Char;
typedef uint8_t DRAWBOT_Boolean;

#endif
