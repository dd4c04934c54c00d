// Reading and writing image files with OpenImageIO.
#include "ImageFiles.h"

#include "CliError.h"
#include "Paths.h"
#include "VideoFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

using OIIO::ImageInput;
using OIIO::ImageOutput;
using OIIO::ImageSpec;
using OIIO::TypeDesc;

// Full scale of a depth's levels in the host's worlds.
double HostFullScale(PixelDepth depth)
{
    return depth == PixelDepth::Bits8 ? 255.0 : 32768.0;
}

float InWorld(double value, PixelDepth depth)
{
    return WorldValue(value, depth);
}

template <typename Code>
Code FileCode(double value, double full)
{
    return static_cast<Code>(FileCodeOf(value, full));
}

// One line of the library's error text.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

PixelDepth DepthOfFile(const TypeDesc& format)
{
    switch (format.basetype) {
    case TypeDesc::UINT8:
    case TypeDesc::INT8:
        return PixelDepth::Bits8;
    case TypeDesc::UINT16:
    case TypeDesc::INT16:
        return PixelDepth::Bits16;
    default:
        return PixelDepth::Float;
    }
}

// The file's channels as read: integer codes for 8- and 16-bit files (so no level is rounded twice), floats
// otherwise.
struct RawPixels {
    PixelDepth depth;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> words;
    std::vector<float> floats;

    double At(std::size_t i) const
    {
        switch (depth) {
        case PixelDepth::Bits8:
            return bytes[i] / 255.0;
        case PixelDepth::Bits16:
            return words[i] / 65535.0;
        default:
            return floats[i];
        }
    }
};

}   // namespace

std::string ImageLibraryVersion()
{
    const int version = OIIO::openimageio_version();   // 20407 is 2.4.7
    return "OpenImageIO " + std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100) + "." +
           std::to_string(version % 100);
}

float WorldValue(double value, PixelDepth depth)
{
    if (depth == PixelDepth::Float) {
        return static_cast<float>(value);
    }
    const double full = HostFullScale(depth);
    const double level = !(value > 0.0) ? 0.0 : value >= 1.0 ? full : std::floor(value * full + 0.5);
    return static_cast<float>(level / full);
}

double FileCodeOf(double value, double full)
{
    return !(value > 0.0) ? 0.0 : value >= 1.0 ? full : std::floor(value * full + 0.5);
}

ImageFormat OutputFormat(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    if (extension == ".png") {
        return ImageFormat::Png;
    }
    if (extension == ".tif" || extension == ".tiff") {
        return ImageFormat::Tiff;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return ImageFormat::Jpeg;
    }
    if (extension == ".exr") {
        return ImageFormat::Exr;
    }
    throw CliError("unknown image format " + Quoted(extension.empty() ? std::string("(no extension)") : extension) +
                   " for " + path + ": write .png, .tif, .jpg or .exr, or a movie (.mp4, .mov, .mkv)");
}

const char* FormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Png:
        return "PNG";
    case ImageFormat::Tiff:
        return "TIFF";
    case ImageFormat::Jpeg:
        return "JPEG";
    default:
        return "OpenEXR";
    }
}

namespace {

// The file opened for reading. Unassociated alpha is asked for as stored: PNG and straight TIFF then arrive
// untouched, and the file's ImageSpec says whether the data is still premultiplied (OpenEXR, associated TIFF).
std::unique_ptr<ImageInput> OpenImageFile(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        throw CliError("no such file: " + path);
    }
    if (std::filesystem::is_directory(path, error)) {
        throw CliError(path + " is a folder, not an image");
    }
    // The image library's movie reader is never asked: movies go through the video code.
    if (IsMovieFile(path)) {
        throw CliError(path + " is a movie, not an image");
    }
    ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto file = ImageInput::open(path, &config);
    if (!file) {
        throw CliError("cannot read " + path + ": " + OneLine(OIIO::geterror()));
    }
    const ImageSpec& spec = file->spec();
    if (spec.width <= 0 || spec.height <= 0 || spec.depth > 1 || spec.nchannels <= 0) {
        throw CliError("cannot read " + path + ": not a flat 2D image");
    }
    return file;
}

}   // namespace

ImageFileInfo ProbeImageFile(const std::string& path)
{
    const auto file = OpenImageFile(path);
    const ImageSpec& spec = file->spec();
    const bool alpha = spec.alpha_channel >= 0 && spec.alpha_channel < spec.nchannels;
    const int colour = spec.nchannels - (alpha ? 1 : 0);
    const FileShape shape{(colour >= 3 ? 3 : 1) + (alpha ? 1 : 0), spec.format == TypeDesc::HALF};
    return ImageFileInfo{spec.width, spec.height, DepthOfFile(spec.format), shape};
}

InputImage ReadImageFile(const std::string& path, std::optional<PixelDepth> depth)
{
    const auto file = OpenImageFile(path);
    const ImageSpec& spec = file->spec();

    RawPixels raw{DepthOfFile(spec.format), {}, {}, {}};
    const std::size_t values = static_cast<std::size_t>(spec.width) * spec.height * spec.nchannels;
    bool read = false;
    switch (raw.depth) {
    case PixelDepth::Bits8:
        raw.bytes.resize(values);
        read = file->read_image(0, 0, 0, spec.nchannels, TypeDesc::UINT8, raw.bytes.data());
        break;
    case PixelDepth::Bits16:
        raw.words.resize(values);
        read = file->read_image(0, 0, 0, spec.nchannels, TypeDesc::UINT16, raw.words.data());
        break;
    default:
        raw.floats.resize(values);
        read = file->read_image(0, 0, 0, spec.nchannels, TypeDesc::FLOAT, raw.floats.data());
        break;
    }
    // A damaged file (a truncated JPEG or TIFF) may still "read", its missing part filled in; the reader
    // says so only in its error text.
    const std::string damage = OneLine(file->geterror());
    if (!read || !damage.empty()) {
        throw CliError("cannot read " + path + ": " + (damage.empty() ? std::string("read failed") : damage));
    }

    const int alpha = spec.alpha_channel >= 0 && spec.alpha_channel < spec.nchannels ? spec.alpha_channel : -1;
    const bool premultiplied = alpha >= 0 && spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
    // Colour channels: the first three that are not alpha; one grey channel stands for all three.
    int colour[3] = {0, 0, 0};
    int found = 0;
    for (int c = 0; c < spec.nchannels && found < 3; ++c) {
        if (c != alpha) {
            colour[found++] = c;
        }
    }
    if (found < 3) {
        colour[1] = colour[2] = colour[0];
    }

    InputImage image;
    image.file_depth = raw.depth;
    image.has_alpha = alpha >= 0;
    const PixelDepth world = depth.value_or(raw.depth);
    image.pixels = FloatImage(spec.width, spec.height);
    for (A_long y = 0; y < spec.height; ++y) {
        for (A_long x = 0; x < spec.width; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * spec.width + x) * spec.nchannels;
            const double a = alpha >= 0 ? raw.At(at + alpha) : 1.0;
            double rgb[3];
            for (int c = 0; c < 3; ++c) {
                rgb[c] = raw.At(at + colour[c]);
                if (premultiplied && a > 0.0) {
                    rgb[c] /= a;
                }
            }
            image.pixels.Set(x, y, InWorld(rgb[2], world), InWorld(rgb[1], world), InWorld(rgb[0], world),
                             InWorld(a, world));
        }
    }
    return image;
}

namespace {

// The channels a frame needs on top of the shape asked for: alpha where a pixel is not opaque, colour where
// one is not grey.
FileShape ShapeFor(const FloatImage& image, FileShape shape)
{
    bool alpha = shape.channels == 2 || shape.channels == 4;
    bool colour = shape.channels >= 3;
    for (std::size_t i = 0; i < image.pixels.size() && !(alpha && colour); i += 4) {
        const float* p = image.pixels.data() + i;
        alpha |= p[3] != 1.0f;
        colour |= p[0] != p[1] || p[1] != p[2];
    }
    shape.channels = (colour ? 3 : 1) + (alpha ? 1 : 0);
    return shape;
}

const char* ChannelNames(int channels)
{
    switch (channels) {
    case 1:
        return "grey";
    case 2:
        return "grey+alpha";
    case 3:
        return "RGB";
    default:
        return "RGBA";
    }
}

std::string Joined(const std::string& a, const std::string& b)
{
    return a.empty() ? b : b.empty() ? a : a + "; " + b;
}

}   // namespace

std::string WriteImageFile(const std::string& path, const FloatImage& image, PixelDepth depth, const FileShape& asked,
                           std::string* written)
{
    const ImageFormat format = OutputFormat(path);
    CheckWritableFolder(path);
    std::string note;
    TypeDesc type = TypeDesc::FLOAT;
    switch (format) {
    case ImageFormat::Png:
        type = depth == PixelDepth::Bits8 ? TypeDesc::UINT8 : TypeDesc::UINT16;
        if (depth == PixelDepth::Float) {
            note = "PNG holds no floats: written as 16-bit";
        }
        break;
    case ImageFormat::Tiff:
        type = depth == PixelDepth::Bits8 ? TypeDesc::UINT8
               : depth == PixelDepth::Bits16 ? TypeDesc::UINT16
                                             : TypeDesc::FLOAT;
        break;
    case ImageFormat::Jpeg:
        type = TypeDesc::UINT8;
        if (depth != PixelDepth::Bits8) {
            note = "JPEG holds 8 bits: written as 8-bit";
        }
        break;
    case ImageFormat::Exr:
        // Half floats hold 8-bit levels only approximately: half only for a float render of a half input.
        type = depth == PixelDepth::Float && asked.half ? TypeDesc::HALF : TypeDesc::FLOAT;
        break;
    }
    FileShape shape = ShapeFor(image, asked);
    if (format == ImageFormat::Jpeg && (shape.channels == 2 || shape.channels == 4)) {
        shape.channels -= 1;   // composited over black below
    } else if (shape.channels > asked.channels && asked.channels != 4) {
        note = Joined(note, std::string("the frame needs ") + ChannelNames(shape.channels) + ", not " +
                                ChannelNames(asked.channels) + ": written as " + ChannelNames(shape.channels));
    }
    const int channels = shape.channels;
    const bool has_alpha = channels == 2 || channels == 4;
    const bool grey = channels <= 2;
    const bool premultiply = format == ImageFormat::Exr || format == ImageFormat::Jpeg;

    // Interleaved grey or R, G, B, then alpha, in the file's type, from the world's B, G, R, A.
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> words;
    std::vector<float> floats;
    for (std::size_t i = 0; i < pixels; ++i) {
        const float* p = image.pixels.data() + i * 4;
        const double a = p[3];
        for (int c = 0; c < channels; ++c) {
            const bool is_alpha = has_alpha && c == channels - 1;
            double v = is_alpha ? a : grey ? p[2] : p[2 - c];
            if (premultiply && !is_alpha) {
                v *= (format == ImageFormat::Jpeg ? std::clamp(a, 0.0, 1.0) : a);
            }
            if (type == TypeDesc::UINT8) {
                bytes.push_back(FileCode<std::uint8_t>(v, 255.0));
            } else if (type == TypeDesc::UINT16) {
                words.push_back(FileCode<std::uint16_t>(v, 65535.0));
            } else {
                floats.push_back(static_cast<float>(v));
            }
        }
    }
    const void* data = type == TypeDesc::UINT8    ? static_cast<const void*>(bytes.data())
                       : type == TypeDesc::UINT16 ? static_cast<const void*>(words.data())
                                                  : static_cast<const void*>(floats.data());
    const TypeDesc data_type = type == TypeDesc::HALF ? TypeDesc(TypeDesc::FLOAT) : type;

    ImageSpec spec(image.width, image.height, channels, type);
    if (grey) {
        spec.channelnames = has_alpha ? std::vector<std::string>{"Y", "A"} : std::vector<std::string>{"Y"};
    }
    if (has_alpha) {
        spec.alpha_channel = channels - 1;
        if (!premultiply) {
            spec.attribute("oiio:UnassociatedAlpha", 1);
        }
    }
    if (format == ImageFormat::Jpeg) {
        spec.attribute("Compression", "jpeg:95");
    }

    PendingFile file(path);
    auto out = ImageOutput::create(file.path());
    if (!out) {
        throw CliError("cannot write " + path + ": " + OneLine(OIIO::geterror()));
    }
    if (!out->open(file.path(), spec) || !out->write_image(data_type, data) || !out->close()) {
        const std::string why = OneLine(out->geterror());
        out.reset();
        throw CliError("cannot write " + path + ": " + (why.empty() ? std::string("write failed") : why));
    }
    out.reset();
    file.Commit();
    if (written) {
        const char* bits = type == TypeDesc::UINT8    ? "8-bit"
                           : type == TypeDesc::UINT16 ? "16-bit"
                           : type == TypeDesc::HALF   ? "half-float"
                                                      : "32-bit float";
        *written = std::string(bits) + " " + ChannelNames(channels) + " " + FormatName(format);
    }
    return note;
}
