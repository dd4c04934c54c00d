// The objects behind the handles the test host gives the plug-in: parameters and their set, clips,
// images and effects (descriptors and instances). Each handle type is a pointer to one of these.
#pragma once

#include "Pictures.h"
#include "Properties.h"

#include "ofxImageEffect.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class OfxHostSim;

struct HostParam {
    std::string name;
    std::string type;        // kOfxParamType*
    PropertyStore props;
    double number = 0.0;     // doubles
    int integer = 0;         // integers, choices, booleans

    bool IsDouble() const { return type == kOfxParamTypeDouble; }
    bool HasValue() const { return type != kOfxParamTypeGroup && type != kOfxParamTypePage; }
};

struct HostParamSet {
    PropertyStore props;
    std::deque<HostParam> params;   // in the order defined; a deque keeps handles valid
    HostParam* Find(const std::string& name);
};

// What a test connects to an input clip.
struct ClipInput {
    Picture picture;                                     // the pixels at `scale`
    double scale = 1.0;                                  // the render scale the picture is at
    std::string depth = kOfxBitDepthByte;                // as the host reports it on the clip and images
    std::string components = kOfxImageComponentRGBA;
    std::string premultiplication = kOfxImageUnPreMultiplied;
    bool rows_down = false;                              // images with negative row bytes
    int row_padding = 0;                                 // bytes after each row's pixels
    bool has_images = true;                              // false: clipGetImage fails
};

struct HostImage;

struct HostClip {
    std::string name;
    PropertyStore props;
    bool connected = false;
    ClipInput input;
    OfxRectD roi{};          // the region of interest the plug-in last asked for
    bool has_roi = false;
    class HostEffect* effect = nullptr;
};

// The bytes of one image, shared by the handles that point into it.
struct HostImage {
    PropertyStore props;
    std::shared_ptr<std::vector<unsigned char>> bytes;
};

class HostEffect {
public:
    PropertyStore props;
    HostParamSet params;
    std::deque<HostClip> clips;
    OfxHostSim* host = nullptr;
    bool is_instance = false;

    HostClip* Clip(const std::string& name);
};
