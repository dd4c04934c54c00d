/* The host's basic suite: acquires and releases every other suite by name and version. */
#ifndef SPBASIC_H
#define SPBASIC_H

#include <stddef.h>
#include <stdint.h>

typedef int32_t SPErr;
/* The platform's boolean: Windows' BOOL (32 bits) there, one byte elsewhere. */
#if defined(_WINDOWS) || defined(_MSC_VER) || defined(WINDOWS)
typedef int32_t SPBoolean;
#else
typedef uint8_t SPBoolean;
#endif

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SPBasicSuite {
    /* 0 and a filled suite pointer on success; every successful acquisition needs one release. */
    SPErr (*AcquireSuite)(const char *name, int32_t version, const void **suite);
    SPErr (*ReleaseSuite)(const char *name, int32_t version);
    SPBoolean (*IsEqual)(const char *token1, const char *token2);
    SPErr (*AllocateBlock)(size_t size, void **block);
    SPErr (*FreeBlock)(void *block);
    SPErr (*ReallocateBlock)(void *block, size_t new_size, void **new_block);
    SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif
