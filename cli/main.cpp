// quaverflux: the effect from a shell. Loads the plug-in module through the host simulator and drives it as
// the host does, so what it renders is what the host would render.
#include "CliError.h"
#include "Commands.h"
#include "Controls.h"
#include "ImageFiles.h"
#include "Platform.h"
#include "VideoFiles.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

// Options render and sheet share, added to either subcommand.
void AddFrameOptions(CLI::App& command, FrameOptions& options, bool sheet)
{
    command.add_option("INPUT", options.input,
                       sheet ? "Input image" : "Input image, a numbered sequence with --frames, or a movie (.mp4, .mov, .mkv, ...)")
        ->required();
    command.add_option("-o,--output", options.output,
                       sheet ? "The contact sheet (.png, .tif, .jpg, .exr)"
                             : "Output image (.png, .tif, .jpg, .exr), a numbered sequence (# for four digits, @ for "
                               "one, or %04d in the name), or a movie (.mp4, .mov, .mkv, .avi, .webm)")
        ->required();
    command.add_option("--set", options.settings,
                       "CONTROL=VALUE, as the Effect Controls panel shows it (repeatable): \"Wave Size=300\", "
                       "\"Fold=150\" (percent), \"Direction=45\" (degrees), \"Edges=Mirror\" or \"Edges=3\", "
                       "\"Loop=on\"")
        ->allow_extra_args(false);
    command.add_option("--look", options.look, "Read control values from a look file (JSON)");
    command.add_option("--map", options.map, "Image for the Map Layer (the strength map); numbered with --frames");
    command.add_option("--downsample", options.downsample,
                       sheet ? "Render at 1/N resolution, as a host's preview does (default: tiles at most 640 wide)"
                             : "Render at 1/N resolution, as a host's preview does")
        ->check(CLI::Range(sheet ? 0 : 1, 64));
    command.add_option("--depth", options.depth, "Bits per channel of the host's worlds: 8, 16 or 32 (float); "
                                                 "default: the input's")
        ->check(CLI::IsMember({8, 16, 32}));
    command.add_option("--fps", options.fps,
                       sheet ? "Frames per second, for --time (default 24)"
                             : "Frames per second of a sequence: frame N is at N / fps seconds (default 24; 29.97 or "
                               "30000/1001 for NTSC); required for a movie made from images. A movie's frames keep "
                               "their own times");
    command.add_flag("--legacy", options.legacy, "Render through PF_Cmd_RENDER, the road of hosts without smart "
                                                 "rendering (8 and 16 bits)");
    command.add_option("--renderer", options.renderer,
                       "cpu, opencl, cuda, or auto (a GPU when one sets up, else the CPU); default cpu")
        ->check(CLI::IsMember({"cpu", "opencl", "cuda", "auto"}));
}

void AddGlobalOptions(CLI::App& command, GlobalOptions& global)
{
    command.add_flag("-q,--quiet", global.quiet, "No progress and no notes; errors only");
    command.add_flag("-v,--verbose", global.verbose, "Say which renderer drew each frame, and how long it took");
}

}   // namespace

int main(int argc, char** argv)
{
    CLI::App app{"quaverflux: the Quaverflux wave-warp effect from a shell. Renders images, sequences and movies "
                 "through the plug-in module exactly as the host drives it."};
    app.name("quaverflux");
    app.require_subcommand(1);
    app.set_version_flag("--version", [] {
        return std::string("quaverflux ") + QF_VERSION + "\n" + ImageLibraryVersion() + "\n" + VideoLibraryVersions();
    });
    app.footer("Examples:\n"
               "  quaverflux render samples/coffee.jpg -o out/coffee.png\n"
               "  quaverflux render in.png -o out.png --preset \"Heat Haze\" --set \"Wave Size=120\"\n"
               "  quaverflux render clip.mp4 -o warped.mp4\n"
               "  quaverflux sheet samples/coffee.jpg -o out/looks.png\n"
               "Run quaverflux SUBCOMMAND --help for each subcommand's options.");
    GlobalOptions global;
    app.add_option("--module", global.module, "The plug-in module (default: the one built beside this program)");

    RenderOptions render;
    CLI::App* render_command =
        app.add_subcommand("render", "Render one frame, a sequence with --frames, or a movie");
    AddFrameOptions(*render_command, render, false);
    AddGlobalOptions(*render_command, global);
    render_command->add_option("--preset", render.preset, "Choose a look from the Preset menu (quaverflux presets)");
    CLI::Option* frames = render_command->add_option(
        "--frames", render.frames,
        "Render frames A to B (A-B) of a sequence or a movie (counting from 0); INPUT may be numbered too");
    render_command->add_option("--time", render.time,
                               "Render the frame at this many seconds (default 0); of a movie, the frame on screen then")
        ->excludes(frames);
    render_command->add_option("--save-look", render.save_look,
                               "Write the control values used to a look file, once the render succeeded");
    render_command->add_option("--chunk", render.chunk,
                               "Render only the K-th of N contiguous pieces of the frames (K/N, K from 1; the last "
                               "piece takes the remainder): one task of a render farm's array job");
    render_command->add_flag("--skip-existing", render.skip_existing,
                             "Leave frames whose file exists as they are (finishing an interrupted render)");
    render_command->add_option("--codec", render.codec,
                               "Movie output: h264, h265, prores, ffv1, vp9 or an FFmpeg encoder (default: the "
                               "input movie's codec where the container holds it, else H.264 in .mp4, .mov and "
                               ".mkv, ProRes in .mov and FFV1 in .mkv for 10-bit and deeper or transparent frames)");
    render_command->add_option("--crf", render.crf,
                               "Movie output: quality of H.264, H.265 and VP9, lower is better (default 18; VP9 31)")
        ->check(CLI::Range(0, 63));
    render_command->footer(
        "Values apply in the host's order: the look file, then --set of controls a look never writes (so "
        "\"Scale With Layer=off\" makes --preset fit Wave Size to the layer), then --preset, then --set of the "
        "controls a look writes.\n"
        "Examples:\n"
        "  quaverflux render samples/coffee.jpg -o out/coffee.png\n"
        "  quaverflux render in.png -o out.tif --preset Silk --set \"Color Split=12\" --depth 16\n"
        "  quaverflux render in.#.exr -o out.#.exr --frames 1-96 --fps 24 --set \"Evolution Speed=0.5\"\n"
        "  quaverflux render still.jpg -o loop.%04d.png --frames 0-47 --set Loop=on --set \"Loop Duration (sec)=2\" "
        "--set \"Evolution Speed=0.5\"\n"
        "  quaverflux render clip.mp4 -o warped.mp4 --preset Silk --crf 16\n"
        "  quaverflux render clip.mov -o frames/warped.#.exr --frames 0-99\n"
        "  quaverflux render frames/warped.#.exr -o warped.mov --frames 0-99 --fps 30000/1001 --set Mix=0\n"
        "  quaverflux render shot.#.exr -o out.#.exr --frames 1-240 --chunk 3/8 --skip-existing   # one farm task");

    SheetOptions sheet;
    CLI::App* sheet_command =
        app.add_subcommand("sheet", "The input in all fourteen looks, one labelled tile each, in one image");
    AddFrameOptions(*sheet_command, sheet, true);
    sheet.downsample = 0;
    AddGlobalOptions(*sheet_command, global);
    sheet_command->add_option("--time", sheet.time, "Render the looks at this many seconds (default 0)");
    sheet_command->add_option("--columns", sheet.columns, "Tiles per row (default 4)")->check(CLI::Range(1, 14));
    sheet_command->footer(
        "Tiles are the input's size after --downsample, in the Preset menu's order, with 8-pixel gaps and a "
        "label band under each (font size: the tile width / 14, 10 to 48 pixels; the band twice "
        "that high). --set and --look apply to every tile; --set of a control a look writes overrides every look.\n"
        "Example:\n"
        "  quaverflux sheet samples/coffee.jpg -o out/looks.png --set Edges=Mirror");

    CLI::App* presets_command = app.add_subcommand("presets", "List the looks of the Preset menu with their values");
    bool presets_json = false;
    presets_command->add_flag("--json", presets_json, "As JSON");
    presets_command->footer("Example:\n  quaverflux presets");

    CLI::App* controls_command =
        app.add_subcommand("controls", "List every control: kind, default, valid and slider ranges, choices");
    bool controls_json = false;
    controls_command->add_flag("--json", controls_json, "As JSON");
    controls_command->footer("Example:\n  quaverflux controls");

    HeaderOptions header;
    CLI::App* header_command =
        app.add_subcommand("header", "Draw the effect's Effect Controls header, as the panel shows it, into an image");
    header_command->add_option("-o,--output", header.output, "The image (.png, .tif, .jpg, .exr)")->required();
    header_command->add_option("--scale", header.scale, "Screen scale: 1 or 2 (a high-density screen)")
        ->check(CLI::IsMember({1, 2}));
    header_command->add_option("--theme", header.theme,
                               "dark, light, or the panel's background[,text[,accent]] colours as R,G,B (0 to 255)");
    header_command->add_flag("-q,--quiet", global.quiet, "No messages; errors only");
    header_command->footer("Example:\n  quaverflux header -o out/header.png --scale 2 --theme dark");

    // A first word that is no subcommand, before CLI11 calls it a missing one.
    const std::vector<std::string> subcommands = {"render", "sheet", "presets", "controls", "header"};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--module") {
            ++i;   // its value
            continue;
        }
        if (word.empty() || word[0] == '-') {
            continue;
        }
        if (std::find(subcommands.begin(), subcommands.end(), word) == subcommands.end()) {
            std::fprintf(stderr,
                         "quaverflux: error: unknown subcommand \"%s\"; did you mean \"%s\"? (subcommands: render, "
                         "sheet, presets, controls, header; see quaverflux --help)\n",
                         word.c_str(), Nearest(word, subcommands).c_str());
            return EXIT_USAGE;
        }
        break;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // The help of the subcommand being parsed, which lists the option that went wrong.
        std::string help = "quaverflux --help";
        for (const CLI::App* command : app.get_subcommands()) {
            help = "quaverflux " + command->get_name() + " --help";
        }
        std::fprintf(stderr, "quaverflux: error: %s (see %s)\n", e.what(), help.c_str());
        return EXIT_USAGE;
    }
    render.fps_given = render_command->count("--fps") > 0;
    sheet.fps_given = sheet_command->count("--fps") > 0;

    InstallInterruptHandler();
    try {
        if (*render_command) {
            RunRender(global, render);
        } else if (*sheet_command) {
            RunSheet(global, sheet);
        } else if (*presets_command) {
            RunPresets(global, presets_json);
        } else if (*controls_command) {
            RunControls(global, controls_json);
        } else if (*header_command) {
            RunHeader(global, header);
        }
    } catch (const CliError& e) {
        std::fprintf(stderr, "quaverflux: %s%s\n", e.status() > EXIT_SIGNAL_BASE ? "" : "error: ", e.what());
        return e.status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quaverflux: error: out of memory (try --downsample, or a smaller image)\n");
        return EXIT_FAILED;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quaverflux: error: %s\n", e.what());
        return EXIT_FAILED;
    }
    return 0;
}
