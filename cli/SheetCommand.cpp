// quaverflux sheet: the input in every look of the Preset menu, one labelled tile each, in one image.
#include "CliError.h"
#include "CommandSupport.h"
#include "ImageFiles.h"
#include "Paths.h"
#include "Progress.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>
#include <cmath>

namespace {

// Tiles wider than this get a host downsample unless one is given.
constexpr int SHEET_TILE_WIDTH = 640;
constexpr int SHEET_GAP = 8;                     // pixels around and between tiles
constexpr float SHEET_BACKGROUND = 0.12f;        // opaque grey behind tiles and labels
constexpr float LABEL_TEXT = 0.92f;
constexpr const char* LABEL_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* LABEL_FONT_NAME = "DejaVuSans";   // found in the system's font folders otherwise

// The label's font size for a tile width: a fourteenth of it, 10 to 48 pixels; the label band is twice
// that high.
int LabelFontSize(int tile_width)
{
    return std::clamp(static_cast<int>(std::lround(tile_width / 14.0)), 10, 48);
}

// The look's name centred on an opaque band, as floats B, G, R, A; false when no font could draw it.
bool DrawLabel(const std::string& text, int width, int height, int font_size, FloatImage& band)
{
    OIIO::ImageBuf buffer(OIIO::ImageSpec(width, height, 4, OIIO::TypeDesc::FLOAT));
    const float background[4] = {SHEET_BACKGROUND, SHEET_BACKGROUND, SHEET_BACKGROUND, 1.0f};
    OIIO::ImageBufAlgo::fill(buffer, background);
    // Narrow tiles: a smaller font, so the whole name shows.
    std::string font = LABEL_FONT;
    if (OIIO::ImageBufAlgo::text_size(text, font_size, font).width() <= 0) {
        font = LABEL_FONT_NAME;
    }
    int size = font_size;
    while (size > 6 && OIIO::ImageBufAlgo::text_size(text, size, font).width() > width - 4) {
        --size;
    }
    const float colour[4] = {LABEL_TEXT, LABEL_TEXT, LABEL_TEXT, 1.0f};
    // On a common baseline (capitals centred), so names with and without descenders line up.
    const int baseline = static_cast<int>(std::lround((height + 0.72 * size) / 2.0));
    const bool drawn = OIIO::ImageBufAlgo::render_text(buffer, width / 2, baseline, text, size, font, colour,
                                                       OIIO::ImageBufAlgo::TextAlignX::Center,
                                                       OIIO::ImageBufAlgo::TextAlignY::Baseline);
    OIIO::geterror();   // a failure is reported by the caller; clear the library's message
    band = FloatImage(width, height);
    std::vector<float> rgba(static_cast<std::size_t>(width) * height * 4);
    buffer.get_pixels(OIIO::ROI(0, width, 0, height, 0, 1, 0, 4), OIIO::TypeDesc::FLOAT, rgba.data());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            band.Set(x, y, p[2], p[1], p[0], p[3]);
        }
    }
    return drawn;
}

void Paste(const FloatImage& part, A_long x0, A_long y0, FloatImage& sheet)
{
    for (A_long y = 0; y < part.height; ++y) {
        std::copy_n(part.At(0, y), static_cast<std::size_t>(part.width) * 4, sheet.At(x0, y0 + y));
    }
}

}   // namespace

void RunSheet(const GlobalOptions& global, const SheetOptions& options)
{
    OutputFormat(options.output);
    std::vector<std::string> inputs = {options.input};
    for (const auto& file : {options.map, options.look}) {
        if (file) {
            inputs.push_back(*file);
        }
    }
    const ImageFileInfo info = ProbeImageFile(options.input);
    if (options.map) {
        ProbeImageFile(*options.map);
    }
    CheckNotAnInput(options.output, "contact sheet", inputs);
    CheckWritableFolder(options.output);
    if (options.columns < 1) {
        throw CliError("--columns must be at least 1");
    }
    const ControlCatalogue controls(StartPlugin(FindModule(global.module)));
    const ControlPlan plan = PlanControls(options, controls);
    const std::vector<Look>& looks = controls.looks();
    const int look_count = static_cast<int>(looks.size());
    if (looks.empty()) {
        throw CliError("the effect's Preset menu has no looks");
    }
    FrameOptions frame_options = options;
    if (frame_options.downsample == 0) {
        frame_options.downsample = (info.width + SHEET_TILE_WIDTH - 1) / SHEET_TILE_WIDTH;
    }
    const RenderSetup setup = SetupFor(global, frame_options, info.depth);
    const HostTime time = TimeAt(ClockFor(options.fps), options.time.value_or(0.0));

    FrameRenderer renderer(setup);
    renderer.SetInput(ReadImageFile(options.input, setup.depth).pixels, options.input);
    if (options.map) {
        renderer.SetMap(ReadImageFile(*options.map, setup.depth).pixels);
    }
    renderer.ApplyControls(plan);

    const A_long tile_width = renderer.input().width();
    const A_long tile_height = renderer.input().height();
    const int font_size = LabelFontSize(tile_width);
    const A_long label_height = 2 * font_size;
    const int columns = std::min(options.columns, look_count);
    const int rows = (look_count + columns - 1) / columns;
    FloatImage sheet(columns * tile_width + (columns + 1) * SHEET_GAP,
                     rows * (tile_height + label_height) + (rows + 1) * SHEET_GAP);
    for (A_long y = 0; y < sheet.height; ++y) {
        for (A_long x = 0; x < sheet.width; ++x) {
            sheet.Set(x, y, SHEET_BACKGROUND, SHEET_BACKGROUND, SHEET_BACKGROUND, 1.0f);
        }
    }

    Progress progress(look_count, "tile", global.quiet);
    bool labels_missing = false;
    for (int look = 0; look < look_count; ++look) {
        const std::string& name = looks[look].name;
        plan.ApplyLook(renderer.host(), looks[look].choice);
        const RenderedFrame tile = renderer.Render(time, Quoted(name));
        if (global.verbose) {
            progress.Say(name + ": " + DrawnBy(tile));
        }
        const A_long x0 = SHEET_GAP + (look % columns) * (tile_width + SHEET_GAP);
        const A_long y0 = SHEET_GAP + (look / columns) * (tile_height + label_height + SHEET_GAP);
        Paste(tile.image, x0, y0, sheet);
        FloatImage label;
        labels_missing |= !DrawLabel(name, tile_width, label_height, font_size, label);
        Paste(label, x0, y0 + tile_height, sheet);
        progress.Done(name);
    }
    progress.Finish();
    if (labels_missing && !global.quiet) {
        std::fprintf(stderr, "quaverflux: note: no font for the labels (%s): tiles left unlabelled\n", LABEL_FONT);
    }
    const std::string note = WriteImageFile(options.output, sheet, setup.depth);
    if (!global.quiet) {
        if (!note.empty()) {
            std::fprintf(stderr, "quaverflux: note: %s\n", note.c_str());
        }
        std::fprintf(stderr, "quaverflux: wrote %s (%d x %d, %d looks in %d x %d tiles)\n", options.output.c_str(),
                     static_cast<int>(sheet.width), static_cast<int>(sheet.height), look_count,
                     static_cast<int>(tile_width), static_cast<int>(tile_height));
    }
}
