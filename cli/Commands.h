// The subcommands of `quaverflux`, behind the argument parsing of main.cpp. Each throws CliError (or
// Interrupted) with a one-line message; nothing half-written is left behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Options every command that loads the plug-in shares.
struct GlobalOptions {
    std::string module;   // the plug-in module; empty: found beside the program or in the build
    bool quiet = false;   // no progress, no notes
    bool verbose = false; // which renderer drew each frame, and how long it took
};

// What decides a frame: shared by render and sheet.
struct FrameOptions {
    std::string input;
    std::string output;
    std::optional<std::string> map;
    std::optional<std::string> look;
    std::vector<std::string> settings;    // "CONTROL=VALUE"
    std::optional<double> time;           // seconds
    std::string fps = "24";               // frames per second: "24", "29.97", "30000/1001"
    bool fps_given = false;               // --fps was typed (a movie made from images needs it)
    int downsample = 1;                   // sheet: 0 chooses one that keeps tiles small
    int depth = 0;                        // 8, 16, 32; 0: the input's
    bool legacy = false;
    std::string renderer = "cpu";
};

struct RenderOptions : FrameOptions {
    std::optional<std::string> preset;
    std::optional<std::string> frames;    // "A-B"
    std::optional<std::string> save_look;
    std::optional<std::string> chunk;     // "K/N": the K-th of N contiguous pieces of the frames
    bool skip_existing = false;           // frames whose file exists are left as they are
    std::string codec;                    // movie output: the video encoder; empty: by container and source
    std::optional<int> crf;               // movie output: H.264 / H.265 / VP9 quality
};

struct SheetOptions : FrameOptions {
    int columns = 4;
};

struct HeaderOptions {
    std::string output;
    int scale = 1;
    std::string theme = "dark";
};

void RunRender(const GlobalOptions& global, const RenderOptions& options);
void RunSheet(const GlobalOptions& global, const SheetOptions& options);
void RunHeader(const GlobalOptions& global, const HeaderOptions& options);
void RunPresets(const GlobalOptions& global, bool json);
void RunControls(const GlobalOptions& global, bool json);
