// The test host: loading the bundle, the action sequence of an instance, parameter edits, and frames.
#include "OfxHostSim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

thread_local OfxHostSim* current_host = nullptr;

// The host's own properties and fetchSuite, one for the process: a binary keeps the pointer it was
// given at setHost for as long as it is loaded.
OfxHost* HostRecord()
{
    static PropertyStore props = [] {
        PropertyStore p;
        p.Set(kOfxPropType, kOfxTypeImageEffectHost);
        p.Set(kOfxPropName, "com.tessaloom.ofxtesthost");
        p.Set(kOfxPropLabel, "Quaverflux test host");
        p.SetInts(kOfxPropAPIVersion, {1, 4});
        p.Set(kOfxImageEffectHostPropIsBackground, 0);
        p.Set(kOfxImageEffectPropSupportsMultiResolution, 1);
        p.Set(kOfxImageEffectPropSupportsTiles, 1);
        p.Set(kOfxImageEffectPropTemporalClipAccess, 0);
        p.Set(kOfxImageEffectPropSupportedComponents, std::vector<std::string>{kOfxImageComponentRGBA});
        p.Set(kOfxImageEffectPropSupportedContexts,
              std::vector<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral});
        p.Set(kOfxImageEffectPropSupportedPixelDepths,
              std::vector<std::string>{kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat});
        p.Set(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
        p.Set(kOfxImageEffectPropSupportsMultipleClipPARs, 0);
        return p;
    }();
    static OfxHost host{props.handle(), [](OfxPropertySetHandle, const char* name, int version) {
                            return FetchHostSuite(name, version);
                        }};
    return &host;
}

OfxRectD Canonical(const OfxRectI& pixels, double scale)
{
    return OfxRectD{pixels.x1 / scale, pixels.y1 / scale, pixels.x2 / scale, pixels.y2 / scale};
}

OfxRectI Pixels(const OfxRectD& canonical, double scale)
{
    auto held = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
    return OfxRectI{held(std::floor(canonical.x1 * scale)), held(std::floor(canonical.y1 * scale)),
                    held(std::ceil(canonical.x2 * scale)), held(std::ceil(canonical.y2 * scale))};
}

OfxRectI Intersect(const OfxRectI& a, const OfxRectI& b)
{
    OfxRectI r{std::max(a.x1, b.x1), std::max(a.y1, b.y1), std::min(a.x2, b.x2), std::min(a.y2, b.y2)};
    if (r.x2 <= r.x1 || r.y2 <= r.y1) {
        r = OfxRectI{0, 0, 0, 0};
    }
    return r;
}

void SetRect(PropertyStore& props, const char* name, const OfxRectI& r)
{
    props.SetInts(name, {r.x1, r.y1, r.x2, r.y2});
}

bool Ok(OfxStatus status)
{
    return status == kOfxStatOK || status == kOfxStatReplyDefault;
}

}   // namespace

struct OfxHostSim::Binary {
#if defined(_WIN32)
    HMODULE handle = nullptr;
    void* Find(const char* name) const { return reinterpret_cast<void*>(GetProcAddress(handle, name)); }
    ~Binary()
    {
        if (handle) {
            FreeLibrary(handle);
        }
    }
#else
    void* handle = nullptr;
    void* Find(const char* name) const { return dlsym(handle, name); }
    ~Binary()
    {
        if (handle) {
            dlclose(handle);
        }
    }
#endif
};

std::string OfxHostSim::BinaryPath(const std::string& bundle_path)
{
    std::string bundle = bundle_path;
    while (bundle.size() > 1 && (bundle.back() == '/' || bundle.back() == '\\')) {
        bundle.pop_back();
    }
    std::string name = bundle.substr(bundle.find_last_of("/\\") + 1);
    const std::string suffix = ".bundle";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.resize(name.size() - suffix.size());
    }
#if defined(_WIN32)
    const char* architecture = "Win64";
#else
    const char* architecture = "Linux-x86-64";
#endif
    return bundle + "/Contents/" + architecture + "/" + name;
}

OfxHostSim::OfxHostSim(const std::string& bundle_path) : binary_(std::make_unique<Binary>()), bundle_path_(bundle_path)
{
    const std::string path = BinaryPath(bundle_path);
#if defined(_WIN32)
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    binary_->handle = LoadLibraryW(wide.c_str());
    if (!binary_->handle) {
        throw std::runtime_error(path + ": LoadLibraryW failed: " + std::to_string(GetLastError()));
    }
#else
    binary_->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!binary_->handle) {
        const char* reason = dlerror();
        throw std::runtime_error(path + ": " + (reason ? reason : "dlopen failed"));
    }
#endif
    auto count = reinterpret_cast<int (*)()>(binary_->Find("OfxGetNumberOfPlugins"));
    auto get = reinterpret_cast<OfxPlugin* (*)(int)>(binary_->Find("OfxGetPlugin"));
    if (!count || !get) {
        throw std::runtime_error(path + " does not export OfxGetNumberOfPlugins and OfxGetPlugin");
    }
    plugin_count_ = count();
    plugin_ = plugin_count_ > 0 ? get(0) : nullptr;
    if (!plugin_ || !plugin_->mainEntry || !plugin_->setHost) {
        throw std::runtime_error(path + " has no plug-in record");
    }
    record_ = PluginRecord{plugin_->pluginApi ? plugin_->pluginApi : "", plugin_->apiVersion,
                           plugin_->pluginIdentifier ? plugin_->pluginIdentifier : "", plugin_->pluginVersionMajor,
                           plugin_->pluginVersionMinor};
}

OfxHostSim::~OfxHostSim()
{
    if (instance_) {
        Send(kOfxActionDestroyInstance, instance_.get(), nullptr, nullptr);
    }
    if (loaded_) {
        Send(kOfxActionUnload, nullptr, nullptr, nullptr);
    }
}

OfxHostSim* OfxHostSim::Current()
{
    return current_host;
}

OfxStatus OfxHostSim::Send(const char* action, const void* handle, PropertyStore* in_args, PropertyStore* out_args)
{
    actions.push_back(action);
    OfxHostSim* outer = current_host;
    current_host = this;
    const OfxStatus status = plugin_->mainEntry(action, handle, in_args ? in_args->handle() : nullptr,
                                                out_args ? out_args->handle() : nullptr);
    current_host = outer;
    return status;
}

OfxStatus OfxHostSim::Start(const std::string& context)
{
    if (record_.api != kOfxImageEffectPluginApi || record_.api_version != 1) {
        return kOfxStatErrUnsupported;
    }
    plugin_->setHost(HostRecord());
    OfxStatus status = Send(kOfxActionLoad, nullptr, nullptr, nullptr);
    if (!Ok(status)) {
        return status;
    }
    loaded_ = true;

    descriptor_ = std::make_unique<HostEffect>();
    descriptor_->host = this;
    descriptor_->props.Set(kOfxPropType, kOfxTypeImageEffect);
    descriptor_->props.Set(kOfxPluginPropFilePath, bundle_path_);
    status = Send(kOfxActionDescribe, descriptor_.get(), nullptr, nullptr);
    if (!Ok(status)) {
        return status;
    }
    const std::vector<std::string> contexts = descriptor_->props.Strings(kOfxImageEffectPropSupportedContexts);
    if (std::find(contexts.begin(), contexts.end(), context) == contexts.end()) {
        return kOfxStatErrUnsupported;
    }

    context_ = context;
    context_descriptor_ = std::make_unique<HostEffect>();
    context_descriptor_->host = this;
    context_descriptor_->props = descriptor_->props;
    context_descriptor_->props.Set(kOfxImageEffectPropContext, context);
    PropertyStore in_args;
    in_args.Set(kOfxImageEffectPropContext, context);
    status = Send(kOfxImageEffectActionDescribeInContext, context_descriptor_.get(), &in_args, nullptr);
    if (!Ok(status)) {
        return status;
    }
    SetUpInstance();
    status = Send(kOfxActionCreateInstance, instance_.get(), nullptr, nullptr);
    if (!Ok(status)) {
        instance_.reset();
        return status;
    }
    AskClipPreferences();
    return kOfxStatOK;
}

void OfxHostSim::SetUpInstance()
{
    instance_ = std::make_unique<HostEffect>();
    HostEffect& e = *instance_;
    e.host = this;
    e.is_instance = true;
    e.props.Set(kOfxPropType, kOfxTypeImageEffectInstance);
    e.props.Set(kOfxImageEffectPropContext, context_);
    e.props.Set(kOfxPropInstanceData, static_cast<void*>(nullptr));
    e.props.Set(kOfxImageEffectPropFrameRate, frame_rate);
    e.props.Set(kOfxImageEffectPropProjectPixelAspectRatio, 1.0);
    e.props.Set(kOfxPropIsInteractive, 0);
    for (const HostParam& described : context_descriptor_->params.params) {
        HostParam& p = e.params.params.emplace_back(described);
        p.props.Set(kOfxPropType, kOfxTypeParameterInstance);
        if (p.IsDouble()) {
            p.number = p.props.Double(kOfxParamPropDefault);
        } else {
            p.integer = p.props.Int(kOfxParamPropDefault);
        }
    }
    for (const HostClip& described : context_descriptor_->clips) {
        HostClip& c = e.clips.emplace_back(described);
        c.effect = &e;
        c.props.Set(kOfxImageClipPropConnected, 0);
        c.props.Set(kOfxImageEffectPropPixelDepth, kOfxBitDepthByte);
        c.props.Set(kOfxImageEffectPropComponents, kOfxImageComponentRGBA);
        c.props.Set(kOfxImageEffectPropPreMultiplication, kOfxImageUnPreMultiplied);
        c.props.Set(kOfxImagePropPixelAspectRatio, 1.0);
        c.props.Set(kOfxImageEffectPropFrameRate, frame_rate);
    }
}

HostClip& OfxHostSim::ClipNamed(const std::string& name)
{
    HostClip* clip = instance_ ? instance_->Clip(name) : nullptr;
    if (!clip) {
        throw std::invalid_argument("the instance has no clip " + name);
    }
    return *clip;
}

HostParam& OfxHostSim::ParamNamed(const std::string& name)
{
    HostParam* param = instance_ ? instance_->params.Find(name) : nullptr;
    if (!param) {
        throw std::invalid_argument("the instance has no parameter " + name);
    }
    return *param;
}

const HostParam& OfxHostSim::Param(const std::string& name)
{
    return ParamNamed(name);
}

double OfxHostSim::Number(const std::string& name)
{
    const HostParam& p = ParamNamed(name);
    return p.IsDouble() ? p.number : p.integer;
}

OfxStatus OfxHostSim::Changed(const std::string& name, const char* reason)
{
    PropertyStore bracket;
    bracket.Set(kOfxPropChangeReason, reason);
    Send(kOfxActionBeginInstanceChanged, instance_.get(), &bracket, nullptr);
    PropertyStore in_args;
    in_args.Set(kOfxPropType, kOfxTypeParameter);
    in_args.Set(kOfxPropName, name);
    in_args.Set(kOfxPropChangeReason, reason);
    in_args.Set(kOfxPropTime, current_time);
    in_args.SetDoubles(kOfxImageEffectPropRenderScale, {1.0, 1.0});
    const OfxStatus status = Send(kOfxActionInstanceChanged, instance_.get(), &in_args, nullptr);
    Send(kOfxActionEndInstanceChanged, instance_.get(), &bracket, nullptr);
    return Ok(status) ? kOfxStatOK : status;
}

OfxStatus OfxHostSim::SetParam(const std::string& name, double value)
{
    HostParam& p = ParamNamed(name);
    if (p.IsDouble()) {
        p.number = value;
    } else {
        p.integer = static_cast<int>(std::lround(value));
    }
    plugin_edits_.clear();
    OfxStatus status = Changed(name, kOfxChangeUserEdited);
    // The plug-in's own writes come back to it as its edits, as hosts report them.
    for (size_t i = 0; i < plugin_edits_.size() && i < 1000; ++i) {
        const OfxStatus edit = Changed(plugin_edits_[i], kOfxChangePluginEdited);
        status = status == kOfxStatOK ? edit : status;
    }
    plugin_edits_.clear();
    const std::vector<std::string> slaves = descriptor_->props.Strings(kOfxImageEffectPropClipPreferencesSlaveParam);
    if (std::find(slaves.begin(), slaves.end(), name) != slaves.end()) {
        AskClipPreferences();
    }
    return status;
}

bool OfxHostSim::EndEdit()
{
    if (open_edits_ == 0) {
        return false;
    }
    if (--open_edits_ == 0) {
        ++undo_steps;
    }
    return true;
}

void OfxHostSim::ClearPersistentMessages()
{
    messages.erase(std::remove_if(messages.begin(), messages.end(), [](const PostedMessage& m) { return m.persistent; }),
                   messages.end());
}

void OfxHostSim::Connect(const std::string& name, const ClipInput& input)
{
    HostClip& clip = ClipNamed(name);
    clip.connected = true;
    clip.input = input;
    clip.has_roi = false;
    clip.props.Set(kOfxImageClipPropConnected, 1);
    clip.props.Set(kOfxImageEffectPropPixelDepth, input.depth);
    clip.props.Set(kOfxImageClipPropUnmappedPixelDepth, input.depth);
    clip.props.Set(kOfxImageEffectPropComponents, input.components);
    clip.props.Set(kOfxImageClipPropUnmappedComponents, input.components);
    clip.props.Set(kOfxImageEffectPropPreMultiplication, input.premultiplication);
    if (name == kOfxImageEffectSimpleSourceClipName) {
        const OfxRectD rod = RegionOfDefinition(clip);
        instance_->props.SetDoubles(kOfxImageEffectPropProjectSize, {rod.x2 - rod.x1, rod.y2 - rod.y1});
        instance_->props.SetDoubles(kOfxImageEffectPropProjectOffset, {rod.x1, rod.y1});
        instance_->props.SetDoubles(kOfxImageEffectPropProjectExtent, {rod.x2, rod.y2});
    }
    AskClipPreferences();
}

void OfxHostSim::AskClipPreferences()
{
    clip_preferences = PropertyStore{};
    const HostClip* source = instance_->Clip(kOfxImageEffectSimpleSourceClipName);
    if (!source || !source->connected) {
        return;   // not before every mandatory input is there
    }
    // The defaults: the output premultiplied when any input is, static in time.
    bool premultiplied = false;
    for (const HostClip& clip : instance_->clips) {
        premultiplied |= clip.connected && clip.input.premultiplication == kOfxImagePreMultiplied;
    }
    PropertyStore out_args;
    out_args.Set(kOfxImageEffectPropPreMultiplication,
                 premultiplied ? kOfxImagePreMultiplied : kOfxImageUnPreMultiplied);
    out_args.Set(kOfxImageEffectFrameVarying, 0);
    out_args.Set(kOfxImageClipPropContinuousSamples, 0);
    const OfxStatus status = Send(kOfxImageEffectActionGetClipPreferences, instance_.get(), nullptr, &out_args);
    if (status == kOfxStatOK) {
        clip_preferences = out_args;
    }
}

OfxRectD OfxHostSim::RegionOfDefinition(const HostClip& clip) const
{
    if (clip.name == kOfxImageEffectOutputClipName) {
        const HostClip* source = instance_->Clip(kOfxImageEffectSimpleSourceClipName);
        return source ? RegionOfDefinition(*source) : OfxRectD{};
    }
    if (!clip.connected) {
        return OfxRectD{};
    }
    const double scale = clip.input.scale;
    return OfxRectD{0.0, 0.0, clip.input.picture.width / scale, clip.input.picture.height / scale};
}

OfxRectI OfxHostSim::PixelRegion(const HostClip& clip, double scale) const
{
    return Pixels(RegionOfDefinition(clip), scale);
}

OfxStatus OfxHostSim::RegionsOfInterest(double time, double scale, const OfxRectD& region, PropertyStore& answer)
{
    answer = PropertyStore{};
    const std::vector<double> rect{region.x1, region.y1, region.x2, region.y2};
    for (const HostClip& clip : instance_->clips) {
        if (clip.name != kOfxImageEffectOutputClipName) {
            answer.SetDoubles("OfxImageClipPropRoI_" + clip.name, rect);
        }
    }
    PropertyStore in_args;
    in_args.Set(kOfxPropTime, time);
    in_args.SetDoubles(kOfxImageEffectPropRenderScale, {scale, scale});
    in_args.SetDoubles(kOfxImageEffectPropRegionOfInterest, rect);
    return Send(kOfxImageEffectActionGetRegionsOfInterest, instance_.get(), &in_args, &answer);
}

OfxFrame OfxHostSim::Render(const OfxRenderRequest& request)
{
    OfxFrame frame;
    const HostClip& output_clip = ClipNamed(kOfxImageEffectOutputClipName);
    const OfxRectI whole = PixelRegion(output_clip, request.scale);
    const int width = whole.x2 - whole.x1;
    const int height = whole.y2 - whole.y1;
    const int row_bytes = width * 4 * static_cast<int>(ChannelBytes(request.depth));
    output_bytes_ = std::make_shared<std::vector<unsigned char>>(static_cast<size_t>(row_bytes) * height, 0xCD);
    output_image_ = PropertyStore{};
    output_image_.Set(kOfxPropType, kOfxTypeImage);
    output_image_.Set(kOfxImageEffectPropPixelDepth, request.depth);
    output_image_.Set(kOfxImageEffectPropComponents, request.components);
    output_image_.Set(kOfxImageEffectPropPreMultiplication,
                      clip_preferences.String(kOfxImageEffectPropPreMultiplication, 0, kOfxImageUnPreMultiplied));
    output_image_.SetDoubles(kOfxImageEffectPropRenderScale, {request.scale, request.scale});
    output_image_.Set(kOfxImagePropPixelAspectRatio, 1.0);
    output_image_.Set(kOfxImagePropData, static_cast<void*>(output_bytes_->data()));
    SetRect(output_image_, kOfxImagePropBounds, whole);
    SetRect(output_image_, kOfxImagePropRegionOfDefinition, whole);
    output_image_.Set(kOfxImagePropRowBytes, row_bytes);
    output_image_.Set(kOfxImagePropField, kOfxImageFieldNone);
    output_image_.Set(kOfxImagePropUniqueIdentifier, "output");
    source_bounds_.clear();

    const std::vector<OfxRectI> windows = request.windows.empty() ? std::vector<OfxRectI>{whole} : request.windows;
    for (const OfxRectI& window : windows) {
        for (HostClip& clip : instance_->clips) {
            clip.has_roi = false;
        }
        if (request.ask_regions) {
            PropertyStore answer;
            const OfxStatus status = RegionsOfInterest(request.time, request.scale, Canonical(window, request.scale), answer);
            if (!Ok(status)) {
                frame.status = frame.status == kOfxStatOK ? status : frame.status;
                continue;
            }
            for (HostClip& clip : instance_->clips) {
                const Property* roi = answer.Find("OfxImageClipPropRoI_" + clip.name);
                if (roi && roi->doubles.size() == 4) {
                    clip.roi = OfxRectD{roi->doubles[0], roi->doubles[1], roi->doubles[2], roi->doubles[3]};
                    clip.has_roi = true;
                }
            }
            const HostClip* source = instance_->Clip(kOfxImageEffectSimpleSourceClipName);
            frame.source_rois.push_back(source && source->has_roi ? source->roi : OfxRectD{});
        }
        PropertyStore in_args;
        in_args.Set(kOfxPropTime, request.time);
        in_args.Set(kOfxImageEffectPropFieldToRender, kOfxImageFieldNone);
        SetRect(in_args, kOfxImageEffectPropRenderWindow, window);
        in_args.SetDoubles(kOfxImageEffectPropRenderScale, {request.scale, request.scale});
        in_args.Set(kOfxImageEffectPropSequentialRenderStatus, 0);
        in_args.Set(kOfxImageEffectPropInteractiveRenderStatus, 0);
        const OfxStatus status = Send(kOfxImageEffectActionRender, instance_.get(), &in_args, nullptr);
        frame.status = frame.status == kOfxStatOK ? status : frame.status;
    }

    frame.picture = Picture(width, height);
    for (int y = 0; y < height; ++y) {
        ReadRow(output_bytes_->data() + static_cast<size_t>(y) * row_bytes, width, request.depth,
                frame.picture.At(0, height - 1 - y));
    }
    frame.source_bounds = source_bounds_;
    output_bytes_.reset();
    return frame;
}

OfxStatus OfxHostSim::GetImage(HostClip& clip, OfxTime, const OfxRectD* region, OfxPropertySetHandle* image)
{
    auto handed = std::make_unique<HostImage>();
    if (clip.name == kOfxImageEffectOutputClipName) {
        if (!output_bytes_) {
            return kOfxStatFailed;
        }
        handed->props = output_image_;
        handed->bytes = output_bytes_;
    } else {
        if (!clip.connected || !clip.input.has_images) {
            return kOfxStatFailed;
        }
        const ClipInput& input = clip.input;
        const OfxRectI rod = PixelRegion(clip, input.scale);
        const OfxRectD wanted = region ? *region : clip.has_roi ? clip.roi : RegionOfDefinition(clip);
        const OfxRectI bounds = Intersect(Pixels(wanted, input.scale), rod);
        const int row = (bounds.x2 - bounds.x1) * 4 * static_cast<int>(ChannelBytes(input.depth)) + input.row_padding;
        const int row_bytes = input.rows_down ? -row : row;
        size_t bottom_row = 0;
        handed->bytes = std::make_shared<std::vector<unsigned char>>(
            StoreWindow(input.picture, bounds, input.depth, row_bytes, bottom_row));
        handed->props.Set(kOfxPropType, kOfxTypeImage);
        handed->props.Set(kOfxImageEffectPropPixelDepth, input.depth);
        handed->props.Set(kOfxImageEffectPropComponents, input.components);
        handed->props.Set(kOfxImageEffectPropPreMultiplication, input.premultiplication);
        handed->props.SetDoubles(kOfxImageEffectPropRenderScale, {input.scale, input.scale});
        handed->props.Set(kOfxImagePropPixelAspectRatio, 1.0);
        void* data = handed->bytes->empty() ? nullptr : handed->bytes->data() + bottom_row;
        handed->props.Set(kOfxImagePropData, data);
        SetRect(handed->props, kOfxImagePropBounds, bounds);
        SetRect(handed->props, kOfxImagePropRegionOfDefinition, rod);
        handed->props.Set(kOfxImagePropRowBytes, row_bytes);
        handed->props.Set(kOfxImagePropField, kOfxImageFieldNone);
        handed->props.Set(kOfxImagePropUniqueIdentifier, clip.name);
        if (clip.name == kOfxImageEffectSimpleSourceClipName) {
            source_bounds_.push_back(bounds);
        }
    }
    *image = handed->props.handle();
    images_.push_back(std::move(handed));
    return kOfxStatOK;
}

OfxStatus OfxHostSim::ReleaseImage(OfxPropertySetHandle image)
{
    for (auto it = images_.begin(); it != images_.end(); ++it) {
        if ((*it)->props.handle() == image) {
            images_.erase(it);
            return kOfxStatOK;
        }
    }
    return kOfxStatErrBadHandle;
}
