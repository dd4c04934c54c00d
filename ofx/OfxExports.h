// The bundle binary's two exports, under their plain names; everything else in it is hidden.
#pragma once

#include "ofxCore.h"

#if defined(_WIN32)
#define QF_OFX_EXPORT extern "C" __declspec(dllexport)
#else
#define QF_OFX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// One plug-in: Quaverflux.
QF_OFX_EXPORT int OfxGetNumberOfPlugins(void);

// The plug-in's record for nth 0; null for any other.
QF_OFX_EXPORT OfxPlugin* OfxGetPlugin(int nth);
