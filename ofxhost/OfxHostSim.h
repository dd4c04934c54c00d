// A small OpenFX host for tests, played in-process: loads a plug-in bundle by path as hosts do (the
// binary for this platform from the bundle's Contents folder, its two exports), then describes, creates
// an instance in a context, changes parameters as the user does, and renders frames through the regions
// of interest and the render action, whole, in tiles and at render scales. It knows only what the
// plug-in tells it, through our OpenFX headers (ofx/sdk).
//
// Typical use:
//     OfxHostSim host(bundle_path);
//     ASSERT_EQ(host.Start(kOfxImageEffectContextFilter), kOfxStatOK);   // load, describe, create
//     host.SetParam("waveSize", 120.0);                                   // as the user: instance changed
//     host.Connect("Source", ClipInput{picture});
//     OfxFrame frame = host.Render(OfxRenderRequest{});
//
// One OfxHostSim drives one instance of the bundle's first plug-in, on one thread.
#pragma once

#include "HostObjects.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the binary's plug-in record said.
struct PluginRecord {
    std::string api;
    int api_version = 0;
    std::string identifier;
    unsigned version_major = 0;
    unsigned version_minor = 0;
};

struct OfxRenderRequest {
    double time = 0.0;                        // frames
    double scale = 1.0;                       // render scale on both axes; the inputs' pictures are at it
    std::vector<OfxRectI> windows;            // rendered one after another into one output image; none:
                                              // the whole output at this scale
    std::string depth = kOfxBitDepthByte;     // the output image's
    std::string components = kOfxImageComponentRGBA;
    bool ask_regions = true;                  // send the regions-of-interest action before each window
};

struct OfxFrame {
    OfxStatus status = kOfxStatOK;            // the first render action that did not return kOfxStatOK
    Picture picture;                          // the output image; pixels never written hold bytes 0xCD
    std::vector<OfxRectD> source_rois;        // the Source region the plug-in asked for, per window
    std::vector<OfxRectI> source_bounds;      // the bounds of each Source image handed out
};

struct PostedMessage {
    std::string type;                         // kOfxMessage*
    std::string text;
    bool persistent = false;
};

class OfxHostSim {
public:
    // Finds the binary for this platform in the bundle and its two exports; throws std::runtime_error
    // saying why when either fails.
    explicit OfxHostSim(const std::string& bundle_path);
    ~OfxHostSim();   // destroys the instance, unloads the plug-in and the binary
    OfxHostSim(const OfxHostSim&) = delete;
    OfxHostSim& operator=(const OfxHostSim&) = delete;

    static std::string BinaryPath(const std::string& bundle_path);
    const PluginRecord& plugin() const { return record_; }
    int PluginCount() const { return plugin_count_; }

    // Load, describe, describe in `context`, create the instance, then its clip preferences: the first
    // status that is an error.
    OfxStatus Start(const std::string& context);
    const PropertyStore& descriptor() const { return descriptor_->props; }
    const HostEffect& context_descriptor() const { return *context_descriptor_; }
    HostEffect& instance() { return *instance_; }

    // ---- as the user ----
    double frame_rate = 24.0;                 // the instance's, frames per second
    double current_time = 0.0;                // of the timeline, frames
    // Edits a parameter: its value changes, then the instance-changed actions, then those for every value
    // the plug-in wrote meanwhile (as its own edits). The first failing status.
    OfxStatus SetParam(const std::string& name, double value);
    double Number(const std::string& name);   // a double's value, or an integer's
    const HostParam& Param(const std::string& name);
    int undo_steps = 0;                       // edits the plug-in bracketed with paramEditBegin and End
    int plugin_writes = 0;                    // values the plug-in set through paramSetValue

    // Connects a picture to an input clip ("Source", "StrengthMap"), then asks the clip preferences again.
    void Connect(const std::string& clip, const ClipInput& input);
    // What the last clip preferences action answered (empty when it answered none).
    PropertyStore clip_preferences;

    // ---- frames ----
    OfxFrame Render(const OfxRenderRequest& request);
    // The regions-of-interest action alone: the status, and the regions it answered, by property name.
    OfxStatus RegionsOfInterest(double time, double scale, const OfxRectD& region, PropertyStore& answer);
    int abort_after = -1;                     // the abort call answers "stop" from this call on; -1 never

    // ---- what the plug-in did ----
    std::vector<PostedMessage> messages;
    std::vector<std::string> actions;         // every action sent, in order
    int OutstandingImages() const { return static_cast<int>(images_.size()); }

    // ---- for the suites (Suites.cpp) ----
    // The host whose action is running on this thread: the suites' functions find it here.
    static OfxHostSim* Current();
    OfxStatus GetImage(HostClip& clip, OfxTime time, const OfxRectD* region, OfxPropertySetHandle* image);
    OfxStatus ReleaseImage(OfxPropertySetHandle image);
    OfxRectD RegionOfDefinition(const HostClip& clip) const;
    void PluginEdited(const HostParam& param)
    {
        ++plugin_writes;
        plugin_edits_.push_back(param.name);
    }
    bool Abort() { return abort_after >= 0 && abort_calls_++ >= abort_after; }
    void BeginEdit() { ++open_edits_; }
    bool EndEdit();
    void ClearPersistentMessages();

private:
    struct Binary;

    OfxStatus Send(const char* action, const void* handle, PropertyStore* in_args, PropertyStore* out_args);
    OfxStatus Changed(const std::string& name, const char* reason);
    void AskClipPreferences();
    void SetUpInstance();
    HostClip& ClipNamed(const std::string& name);
    HostParam& ParamNamed(const std::string& name);
    // The clip's region of definition in pixels at `scale`, rounded outwards.
    OfxRectI PixelRegion(const HostClip& clip, double scale) const;

    std::unique_ptr<Binary> binary_;
    OfxPlugin* plugin_ = nullptr;
    PluginRecord record_;
    int plugin_count_ = 0;
    bool loaded_ = false;
    std::unique_ptr<HostEffect> descriptor_;
    std::unique_ptr<HostEffect> context_descriptor_;
    std::unique_ptr<HostEffect> instance_;
    std::string context_;
    std::vector<std::unique_ptr<HostImage>> images_;           // handed out, not yet released
    std::shared_ptr<std::vector<unsigned char>> output_bytes_; // the frame being rendered
    PropertyStore output_image_;                               // its properties, copied into each handle
    std::vector<OfxRectI> source_bounds_;
    std::vector<std::string> plugin_edits_;
    int abort_calls_ = 0;
    int open_edits_ = 0;
    std::string bundle_path_;
};

// The suites the host offers (Suites.cpp), by name and version; null for any other.
const void* FetchHostSuite(const char* name, int version);
