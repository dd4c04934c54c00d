// quaverflux: the effect from a shell. Loads the plug-in module through the host simulator and drives it as
// the host does, so what it renders is what the host would render.
#include "CliError.h"
#include "Commands.h"
#include "Platform.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace {

// Options render and sheet share, added to either subcommand.
void AddFrameOptions(CLI::App& command, FrameOptions& options, bool sheet)
{
    command.add_option("INPUT", options.input, sheet ? "Input image" : "Input image, or a numbered sequence with --frames")
        ->required();
    command.add_option("-o,--output", options.output,
                       sheet ? "The contact sheet (.png, .tif, .jpg, .exr)"
                             : "Output image (.png, .tif, .jpg, .exr); a sequence needs #### or %04d in it")
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
    command.add_option("--fps", options.fps, "Frames per second: frame N is at N / fps seconds (default 24)");
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
    CLI::App app{"quaverflux: the Quaverflux wave-warp effect from a shell. Renders images and sequences through "
                 "the plug-in module exactly as the host drives it."};
    app.name("quaverflux");
    app.require_subcommand(1);
    app.footer("Examples:\n"
               "  quaverflux render samples/coffee.jpg -o out/coffee.png\n"
               "  quaverflux render in.png -o out.png --preset \"Heat Haze\" --set \"Wave Size=120\"\n"
               "  quaverflux sheet samples/coffee.jpg -o out/looks.png\n"
               "Run quaverflux SUBCOMMAND --help for each subcommand's options.");
    GlobalOptions global;
    app.add_option("--module", global.module, "The plug-in module (default: the one built beside this program)");

    RenderOptions render;
    CLI::App* render_command = app.add_subcommand("render", "Render one frame, or a sequence with --frames");
    AddFrameOptions(*render_command, render, false);
    AddGlobalOptions(*render_command, global);
    render_command->add_option("--preset", render.preset, "Choose a look from the Preset menu (quaverflux presets)");
    CLI::Option* frames = render_command->add_option(
        "--frames", render.frames, "Render frames A to B (A-B) of a sequence; INPUT may be numbered too");
    render_command->add_option("--time", render.time, "Render the frame at this many seconds (default 0)")
        ->excludes(frames);
    render_command->add_option("--save-look", render.save_look, "Write the control values used to a look file");
    render_command->footer(
        "Values apply in the host's order: the look file, then --set of controls a look never writes (so "
        "\"Scale With Layer=off\" makes --preset fit Wave Size to the layer), then --preset, then --set of the "
        "controls a look writes.\n"
        "Examples:\n"
        "  quaverflux render samples/coffee.jpg -o out/coffee.png\n"
        "  quaverflux render in.png -o out.tif --preset Silk --set \"Color Split=12\" --depth 16\n"
        "  quaverflux render in.####.exr -o out.####.exr --frames 1-96 --fps 24 --set \"Evolution Speed=0.5\"\n"
        "  quaverflux render still.jpg -o loop.%04d.png --frames 0-47 --set Loop=on --set \"Loop Duration (sec)=2\"");

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "quaverflux: error: %s (see quaverflux --help)\n", e.what());
        return EXIT_USAGE;
    }

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
