// quaverflux sheet, header, presets and controls: sizes, labels, and the values the lists show.
#include "CliTestSupport.h"

#include <nlohmann/json.hpp>

namespace {

using SheetAndLists = CliTest;

// A tile row of the sheet's background colour, or one with label text in it.
bool RowHasText(const FilePixels& sheet, int y, int x0, int width)
{
    for (int x = x0; x < x0 + width; ++x) {
        if (sheet.At(x, y)[0] > 128) {   // the label's light text on the dark band
            return true;
        }
    }
    return false;
}

}   // namespace

// Fourteen tiles of the input's size in four columns, 8-pixel gaps, a label band twice the font size (a
// fourteenth of the tile width, at least 10) under each.
TEST_F(SheetAndLists, SheetHoldsFourteenLabelledTiles)
{
    WritePixels(At("in.png"), 64, 48, OIIO::TypeDesc::UINT8, PatternValues(64, 48, 255.0));
    const CliRun run = Run({"sheet", "in.png", "-o", "sheet.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    const FilePixels sheet = ReadPixels(At("sheet.png"));
    const int band = 2 * 10;
    EXPECT_EQ(sheet.width, 4 * 64 + 5 * 8);
    EXPECT_EQ(sheet.height, 4 * (48 + band) + 5 * 8);
    EXPECT_EQ(sheet.type, OIIO::TypeDesc::UINT8);

    // Labels under the first and the fourteenth tile, none under the empty places after it.
    bool first = false, last = false, empty = false;
    for (int y = 8 + 48; y < 8 + 48 + band; ++y) {
        first |= RowHasText(sheet, y, 8, 64);
    }
    const int last_row_y = 8 + 3 * (48 + band + 8);
    for (int y = last_row_y + 48; y < last_row_y + 48 + band; ++y) {
        last |= RowHasText(sheet, y, 8 + 72, 64);
        empty |= RowHasText(sheet, y, 8 + 2 * 72, 64);
    }
    EXPECT_TRUE(first);
    EXPECT_TRUE(last);
    EXPECT_FALSE(empty);

    // The first tile is the render in the first look, pixel for pixel.
    ASSERT_EQ(Run({"render", "in.png", "-o", "first.png", "--preset", "Melting Portrait"}).status, 0);
    const FilePixels tile = ReadPixels(At("first.png"));
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            for (int c = 0; c < 4; ++c) {
                ASSERT_EQ(sheet.At(8 + x, 8 + y)[c], tile.At(x, y)[c]) << x << ", " << y;
            }
        }
    }

    const CliRun wide = Run({"sheet", "in.png", "-o", "wide.tif", "--columns", "7", "--depth", "16", "-q"});
    ASSERT_EQ(wide.status, 0) << wide.err;
    const FilePixels seven = ReadPixels(At("wide.tif"));
    EXPECT_EQ(seven.width, 7 * 64 + 8 * 8);
    EXPECT_EQ(seven.height, 2 * (48 + band) + 3 * 8);
    EXPECT_EQ(seven.type, OIIO::TypeDesc::UINT16);
}

// The header at 1x and 2x over the panel colour.
TEST_F(SheetAndLists, HeaderAtBothScales)
{
    ASSERT_EQ(Run({"header", "-o", "h1.png"}).status, 0);
    const CliRun run = Run({"header", "-o", "h2.png", "--scale", "2", "--theme", "230,230,230"});
    ASSERT_EQ(run.status, 0) << run.err;
    const FilePixels one = ReadPixels(At("h1.png"));
    const FilePixels two = ReadPixels(At("h2.png"));
    EXPECT_EQ(one.width, 300);
    EXPECT_EQ(one.height, 50);
    EXPECT_EQ(two.width, 600);
    EXPECT_EQ(two.height, 100);
    // The corner is the panel's background: the dark theme's and the given light grey.
    EXPECT_NEAR(one.At(0, 0)[0], 0.14 * 255, 1.0);
    EXPECT_EQ(two.At(599, 99)[0], 230);
}

// The lists show what the plug-in sets and declares.
TEST_F(SheetAndLists, PresetsAndControlsAsJson)
{
    const CliRun presets = Run({"presets", "--json"});
    ASSERT_EQ(presets.status, 0) << presets.err;
    const auto looks = nlohmann::json::parse(presets.out);
    ASSERT_EQ(looks.size(), 14u);
    EXPECT_EQ(looks[7]["name"], "Heat Haze");
    EXPECT_EQ(looks[7]["controls"]["Wave Size"], 90.0);
    EXPECT_EQ(looks[7]["controls"]["Direction"], 90.0);
    EXPECT_EQ(looks[9]["controls"]["Waveform"], "Triangle");

    const CliRun controls = Run({"controls", "--json"});
    ASSERT_EQ(controls.status, 0) << controls.err;
    bool wave_size = false, edges = false;
    for (const auto& control : nlohmann::json::parse(controls.out)) {
        if (control["name"] == "Wave Size") {
            wave_size = true;
            EXPECT_EQ(control["valid"], nlohmann::json::array({2.0, 20000.0}));
            EXPECT_EQ(control["slider"], nlohmann::json::array({20.0, 2000.0}));
        }
        if (control["name"] == "Edges") {
            edges = true;
            EXPECT_EQ(control["default"], "Repeat Edge Pixels");
            EXPECT_EQ(control["choices"].size(), 4u);
        }
    }
    EXPECT_TRUE(wave_size && edges);

    const CliRun text = Run({"controls"});
    EXPECT_NE(text.out.find("Loop Duration (sec): slider, default 4; valid 0.1 to 3600"), std::string::npos)
        << text.out;
}

// --version names the program and the libraries it reads and writes files with.
TEST_F(SheetAndLists, VersionNamesTheProgramAndItsLibraries)
{
    const CliRun run = Run({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("quaverflux 1.0.0\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("OpenImageIO 2."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("FFmpeg "), std::string::npos) << run.out;
}

// Every subcommand explains itself with an example.
TEST_F(SheetAndLists, HelpOnEverySubcommand)
{
    for (const char* command : {"render", "sheet", "presets", "controls", "header"}) {
        SCOPED_TRACE(command);
        const CliRun run = Run({command, "--help"});
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Example"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(std::string("quaverflux ") + command), std::string::npos) << run.out;
    }
}
