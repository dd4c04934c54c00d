// Movies in and out through FFmpeg's libraries. A movie is read frame by frame in presentation order, each
// frame with its own time (so variable frame rates and clips that do not start at 0 animate as they
// play); warped frames are encoded into a movie of the same size, frame timing and length, and the
// source's audio and subtitle streams are copied into it packet for packet.
#pragma once

#include "Frames.h"
#include "Layers.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Whether `path` names a movie, by its extension (.mp4, .mov, .mkv, ...; every one the image library would
// hand to its own movie reader among them).
bool IsMovieFile(const std::string& path);

// "libavformat 59.27.100, libavcodec 59.37.100, libswscale 6.7.100": the video libraries in use.
std::string VideoLibraryVersions();

struct MovieFrame {
    long index = -1;            // in presentation order, from 0
    FloatImage image;           // B, G, R, A straight, in the requested world depth; empty when only decoded
    HostTime time;              // presentation time counted from the first frame
    double seconds = 0;         // the same in seconds
    std::int64_t pts = 0;       // presentation time in the video stream's time base
    std::int64_t duration = 0;  // in the same units; 0 when the file does not say
};

class MovieWriter;

class MovieReader {
public:
    // Opens the movie and indexes its frames (a pass over the packets, without decoding). Throws CliError.
    explicit MovieReader(const std::string& path);
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    int width() const;
    int height() const;
    long frame_count() const;
    // The source's depth: Bits8 for 8-bit pictures, Bits16 for 10 bits and more (warped at 16 bits).
    PixelDepth depth() const;
    bool has_alpha() const;
    // The frame on screen `seconds` after the first one (the last that starts at or before it); -1 before
    // the first.
    long FrameAt(double seconds) const;
    // "24 fps", "29.97 fps", "variable frame rate".
    std::string RateText() const;

    // Decodes the next frame; false after the last. With `world` the picture is converted to that depth,
    // without it the frame is only decoded (skipped). Throws CliError on a damaged file.
    bool Next(MovieFrame& frame, std::optional<PixelDepth> world);

    struct Impl;

private:
    friend class MovieWriter;
    std::unique_ptr<Impl> impl_;
};

struct MovieOptions {
    std::string codec;           // an encoder (h264, prores, ffv1 or any FFmpeg encoder name); empty: default
    std::optional<int> crf;      // constant-rate quality for H.264, H.265 and VP9
};

class MovieWriter {
public:
    // The warped copy of frames [first, last] of `source`: its codec when the container holds it (else the
    // container's default), its pixel format, colour, time base and frame timing, and its audio and subtitle
    // streams, cut to the frames' span when not every frame is written. Frames are `width` x `height` in
    // `world` depth. Throws CliError when the codec or a stream does not fit the container.
    MovieWriter(const std::string& path, MovieReader& source, long first, long last, int width, int height,
                PixelDepth world, const MovieOptions& options);
    // A movie of rendered images at `clock`'s rate, frame i at i / rate seconds.
    MovieWriter(const std::string& path, const FrameClock& clock, int width, int height, PixelDepth world,
                bool alpha, const MovieOptions& options);
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Encodes the next frame; `from` is the source frame it was rendered from (its timing), null for images.
    void Write(const FloatImage& image, const MovieFrame* from);
    // Completes the movie and renames it into place; returns what was written ("H.264 yuv420p MP4 with 1
    // audio stream copied"). Until then the target is untouched; a writer destroyed unfinished removes its
    // temporary file.
    std::string Finish();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
