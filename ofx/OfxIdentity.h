// The OpenFX plug-in's identity. It matches the compositing host form's (host/EffectIdentity.h, which
// this folder does not include); the tests hold the two together.
#pragma once

// Unique among all OpenFX plug-ins: the maker's web domain reversed, then the effect's name. Hosts save
// it in their projects, so it never changes.
inline constexpr const char* OFX_PLUGIN_IDENTIFIER = "com.tessaloom.Quaverflux";
inline constexpr const char* OFX_PLUGIN_LABEL = "Quaverflux";
inline constexpr const char* OFX_PLUGIN_GROUPING = "Distort";

inline constexpr unsigned OFX_PLUGIN_VERSION_MAJOR = 1;
inline constexpr unsigned OFX_PLUGIN_VERSION_MINOR = 0;
inline constexpr unsigned OFX_PLUGIN_VERSION_FIX = 0;
inline constexpr const char* OFX_PLUGIN_VERSION_TEXT = "1.0.0";

// The OpenFX form renders on the CPU only, so its description says nothing of GPUs.
inline constexpr const char* OFX_PLUGIN_DESCRIPTION =
    "Liquid wave warp: melting drips, mirrored folds and repeats, animated and modulated by a strength map.";

// The optional second input of the general context: the strength map, as the Map Layer control is in
// the compositing host. The name is what hosts store; the label what users see.
inline constexpr const char* OFX_MAP_CLIP_NAME = "StrengthMap";
inline constexpr const char* OFX_MAP_CLIP_LABEL = "Strength Map";
