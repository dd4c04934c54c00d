// The effect's identity in one place: registration, global set-up and the About text read it here, and
// the Windows PiPL and version resources are generated from it. Plain data, no SDK headers, so a small
// build-time tool can include it on its own.
#pragma once

#include <cstdint>

inline constexpr const char* EFFECT_NAME = "Quaverflux";
inline constexpr const char* EFFECT_MATCH_NAME = "QVFX Quaverflux";
inline constexpr const char* EFFECT_CATEGORY = "Distort";
inline constexpr const char* EFFECT_ENTRY_POINT = "EffectMain";
inline constexpr std::uint32_t EFFECT_KIND = 0x65464B54;   // 'eFKT'
inline constexpr int EFFECT_SPEC_VERSION_MAJOR = 13;
inline constexpr int EFFECT_SPEC_VERSION_MINOR = 28;
inline constexpr int EFFECT_RESERVED_INFO = 8;
inline constexpr int EFFECT_PIPL_VERSION_MAJOR = 2;
inline constexpr int EFFECT_PIPL_VERSION_MINOR = 0;
inline constexpr std::uint32_t EFFECT_INFO_FLAGS = 0;

// Version 1.0.0, stage release (3), build 1, packed as the host's version word.
inline constexpr int EFFECT_VERSION_MAJOR = 1;
inline constexpr int EFFECT_VERSION_MINOR = 0;
inline constexpr int EFFECT_VERSION_FIX = 0;
inline constexpr int EFFECT_VERSION_STAGE = 3;
inline constexpr int EFFECT_VERSION_BUILD = 1;
inline constexpr std::uint32_t EFFECT_VERSION_WORD = 0x00080601;
inline constexpr const char* EFFECT_VERSION_TEXT = "1.0.0";

// Capability words reported at global set-up (and written into the PiPL). Premiere gets no GPU flag.
inline constexpr std::uint32_t EFFECT_OUT_FLAGS = 0x06008004;
inline constexpr std::uint32_t EFFECT_OUT_FLAGS2 = 0x0A001409;
inline constexpr std::uint32_t EFFECT_OUT_FLAGS2_PREMIERE = 0x08001409;

inline constexpr const char* MAKER_NAME = "Tessaloom";
inline constexpr const char* SUPPORT_URL = "https://tessaloom.com/quaverflux";
inline constexpr int RELEASE_YEAR = 2026;
inline constexpr const char* COPYRIGHT = "Copyright (C) 2026 Tessaloom";
inline constexpr const char* EFFECT_DESCRIPTION =
    "GPU-accelerated liquid wave warp: melting drips, mirrored folds and repeats.";

// Windows version resource (its numbers are the version above with the build: 1.0.0.1).
inline constexpr const char* EFFECT_FILE_DESCRIPTION = "Quaverflux - After Effects effect";
inline constexpr const char* EFFECT_FILE_NAME = "Quaverflux.aex";
