// Image files in and out of the host's worlds, through OpenImageIO: PNG, TIFF, JPEG and OpenEXR (any format
// the library reads for input). The effect works on straight colour, so pixels leave here straight and
// arrive here straight; the conversions are exact between the files' and the host's integer levels
// (8-bit: 255, 16-bit files: 65535, the host's 16-bit worlds: 32768).
#pragma once

#include "Layers.h"

#include <optional>
#include <string>

// A value 0 to 1 as a world of `depth` holds it: integer depths round to the nearest level (halves up) and
// clamp, NaN becomes 0; floats are kept.
float WorldValue(double value, PixelDepth depth);
// An integer file code 0 to `full` (255, 65535) from a value 0 to 1: halves up, clamped, NaN to 0.
double FileCodeOf(double value, double full);

// "OpenImageIO 2.4.7": the image library in use.
std::string ImageLibraryVersion();

enum class ImageFormat { Png, Tiff, Jpeg, Exr };

// The output format by the file's extension (.png, .tif, .tiff, .jpg, .jpeg, .exr); throws CliError for
// any other.
ImageFormat OutputFormat(const std::string& path);
const char* FormatName(ImageFormat format);   // "PNG", "TIFF", "JPEG", "OpenEXR"

struct InputImage {
    // B, G, R, A with straight alpha (1 where the file has none), in the requested world depth: integer
    // depths hold exact levels (level / full scale), as PixelBuffer::Store keeps them.
    FloatImage pixels;
    PixelDepth file_depth = PixelDepth::Bits8;   // the file's own: 8-bit, 16-bit, or float for anything else
    bool has_alpha = false;
};

// What a written file keeps of its input's shape unless the frame needs more: grey or colour, alpha or
// none, and (OpenEXR) half or full floats.
struct FileShape {
    int channels = 4;     // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    bool half = false;    // half floats, where the file is float
};

// The size, depth and shape of the image in `path`, from its header; throws CliError as ReadImageFile does.
struct ImageFileInfo {
    int width = 0;
    int height = 0;
    PixelDepth depth = PixelDepth::Bits8;
    FileShape shape;
};
ImageFileInfo ProbeImageFile(const std::string& path);

// Reads `path` (its first image), converting to straight alpha and to `depth` (empty: the file's own).
// Throws CliError when the file is missing, unreadable or not an image.
InputImage ReadImageFile(const std::string& path, std::optional<PixelDepth> depth = std::nullopt);

// Writes straight B, G, R, A pixels as a world of `depth` holds them, keeping the depth where the format
// can (PNG: 8 and 16 bits; JPEG: 8 bits; OpenEXR: float, which holds every level exactly, or half when the
// shape asks for it; TIFF: all three), with straight alpha in PNG and TIFF, premultiplied in OpenEXR as that
// format requires, and composited over black in JPEG, which has no alpha. The channels follow `shape`,
// growing where the frame needs them (alpha where a pixel is not opaque, colour where one is not grey).
// The file appears only when complete: it is written beside the target under a temporary name and renamed
// into place. Returns a note when the format changed the depth or the frame the channels (the same for
// every file of a format, depth and shape), else empty; `written`, when given, receives what the file
// holds ("16-bit RGBA PNG"). Throws CliError on failure, leaving any earlier file at `path` as it was.
std::string WriteImageFile(const std::string& path, const FloatImage& image, PixelDepth depth,
                           const FileShape& shape = FileShape(), std::string* written = nullptr);
