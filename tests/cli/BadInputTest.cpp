// Bad input gets one clear line, a non-zero exit and no file: nothing half-written, nothing overwritten.
#include "CliTestSupport.h"

namespace {

class BadInput : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        WritePixels(At("in.png"), 24, 16, OIIO::TypeDesc::UINT8, PatternValues(24, 16, 255.0));
        std::ofstream(At("garbage.png")) << "not a picture";
        std::ofstream(At("notes.txt")) << "hello";
        std::ofstream(At("broken.json")) << "{\"controls\": {\"Wave Size\": 300,}";
        std::ofstream(At("typo.json")) << R"({"effect": "Quaverflux", "controls": {"Wave Sixe": 300}})";
        std::ofstream(At("range.json")) << R"({"effect": "Quaverflux", "controls": {"Waves": 40}})";
        fs::create_directories(At("sub"));
        fs::create_directories(At("taken.png"));
        fs::create_symlink("in.png", At("link.png"));
        // A JPEG cut off in its picture data (noise, so the data is most of the file).
        std::vector<double> noise;
        unsigned seed = 12345;
        for (int i = 0; i < 128 * 96 * 4; ++i) {
            seed = seed * 1103515245u + 12345u;
            noise.push_back((seed >> 16) & 255u);
        }
        WritePixels(At("whole.jpg"), 128, 96, OIIO::TypeDesc::UINT8, noise, 3);
        const std::string whole = FileText(At("whole.jpg"));
        std::ofstream(At("truncated.jpg"), std::ios::binary) << whole.substr(0, whole.size() / 2);
    }
};

}   // namespace

TEST_F(BadInput, EachGivesItsErrorAndNoOutput)
{
    const std::vector<BadCase> cases = {
        {"missing input", {"render", "nothing.png", "-o", "out.png"}, "no such file: nothing.png", "out.png"},
        {"unreadable input", {"render", "garbage.png", "-o", "out.png"}, "cannot read garbage.png", "out.png"},
        {"unknown input format", {"render", "notes.txt", "-o", "out.png"}, "cannot read notes.txt", "out.png"},
        {"unknown output format", {"render", "in.png", "-o", "out.xyz"}, "unknown image format \".xyz\"", "out.xyz"},
        {"unknown control", {"render", "in.png", "-o", "out.png", "--set", "Wave Sise=300"},
         "no control \"Wave Sise\"; did you mean \"Wave Size\"?", "out.png"},
        {"unknown look", {"render", "in.png", "-o", "out.png", "--preset", "Heat Hase"},
         "no look \"Heat Hase\"; did you mean \"Heat Haze\"?", "out.png"},
        {"below the valid range", {"render", "in.png", "-o", "out.png", "--set", "Wave Size=1"},
         "Wave Size = 1 is outside its valid range, 2 to 20000", "out.png"},
        {"percent above the range", {"render", "in.png", "-o", "out.png", "--set", "Fold=2000%"},
         "valid range, 0% to 1000%", "out.png"},
        {"unknown choice", {"render", "in.png", "-o", "out.png", "--set", "Edges=Mirrors"},
         "Edges has no choice \"Mirrors\"; did you mean \"Mirror\"?", "out.png"},
        {"choice number out of range", {"render", "in.png", "-o", "out.png", "--set", "Waveform=7"},
         "not one of its choices, 1 to 6", "out.png"},
        {"fraction for an integer", {"render", "in.png", "-o", "out.png", "--set", "Waves=2.5"}, "whole number",
         "out.png"},
        {"checkbox word", {"render", "in.png", "-o", "out.png", "--set", "Loop=maybe"}, "give on or off", "out.png"},
        {"no equals sign", {"render", "in.png", "-o", "out.png", "--set", "Wave Size"}, "CONTROL=VALUE", "out.png"},
        {"a group is not a control", {"render", "in.png", "-o", "out.png", "--set", "Animation=1"},
         "not a control with a value", "out.png"},
        {"sequence without a pattern", {"render", "in.png", "-o", "out.png", "--frames", "1-3"},
         "the output needs a frame-number pattern", "out.png"},
        {"pattern without frames", {"render", "in.png", "-o", "out.#.png"}, "give --frames", "out.#.png"},
        {"missing input frame", {"render", "in.%02d.png", "-o", "out.%02d.png", "--frames", "1-2"},
         "no such file: in.01.png", "out.01.png"},
        {"backwards frames", {"render", "in.png", "-o", "out.@.png", "--frames", "3-1"}, "--frames \"3-1\"",
         "out.3.png"},
        {"output is the input", {"render", "in.png", "-o", "in.png", "--set", "Mix=0"}, "is the input", ""},
        {"output is the input spelled another way", {"render", "in.png", "-o", "./sub/../in.png"}, "is the input",
         ""},
        {"output is a link to the input", {"render", "in.png", "-o", "link.png"}, "is the input", ""},
        {"sheet over its input", {"sheet", "in.png", "-o", "sub/../in.png"}, "is the input", ""},
        {"no such folder", {"render", "in.png", "-o", "nowhere/out.png"}, "no folder nowhere", "nowhere/out.png"},
        {"malformed look", {"render", "in.png", "-o", "out.png", "--look", "broken.json"}, "is not valid JSON",
         "out.png"},
        {"unknown control in a look", {"render", "in.png", "-o", "out.png", "--look", "typo.json"},
         "did you mean \"Wave Size\"?", "out.png"},
        {"value outside the range in a look", {"render", "in.png", "-o", "out.png", "--look", "range.json"},
         "Waves = 40 is outside its valid range, 1 to 32", "out.png"},
        {"missing look", {"render", "in.png", "-o", "out.png", "--look", "none.json"}, "cannot read look file",
         "out.png"},
        {"legacy float", {"render", "in.png", "-o", "out.tif", "--legacy", "--depth", "32"}, "no 32-bit float",
         "out.tif"},
        {"save the look over the input", {"render", "in.png", "-o", "out.png", "--save-look", "in.png"},
         "is the input", "out.png"},
        {"bad theme", {"header", "-o", "header.png", "--theme", "purple"}, "--theme \"purple\"", "header.png"},
        {"bad depth", {"render", "in.png", "-o", "out.png", "--depth", "12"}, "--depth", "out.png"},
        {"missing sheet input", {"sheet", "nothing.png", "-o", "sheet.png"}, "no such file", "sheet.png"},
        {"truncated JPEG", {"render", "truncated.jpg", "-o", "out.png"}, "cannot read truncated.jpg", "out.png"},
        {"start of a choice", {"render", "in.png", "-o", "out.png", "--set", "Edges=wrap"},
         "Edges has no choice \"wrap\"; did you mean \"Wrap Around\"?", "out.png"},
        {"start of a waveform", {"render", "in.png", "-o", "out.png", "--set", "Waveform=saw"},
         "did you mean \"Sawtooth\"?", "out.png"},
        {"start of a look", {"render", "in.png", "-o", "out.png", "--preset", "heat"},
         "no look \"heat\"; did you mean \"Heat Haze\"?", "out.png"},
        {"unknown subcommand", {"rendr", "in.png", "-o", "out.png"},
         "unknown subcommand \"rendr\"; did you mean \"render\"?", "out.png"},
        {"unknown option of a subcommand", {"render", "in.png", "-o", "out.png", "--depht", "16"},
         "(see quaverflux render --help)", "out.png"},
        {"a fraction that is no rate", {"render", "in.png", "-o", "out.#.png", "--frames", "0-1", "--fps", "30000/0"},
         "--fps \"30000/0\"", "out.0000.png"},
        {"output is a folder", {"render", "in.png", "-o", "taken.png"}, "taken.png is a folder", ""},
        {"frame range in a name", {"render", "in.png", "-o", "out.1-3#.png", "--frames", "1-3"},
         "give them as --frames 1-3", "out.0001.png"},
    };
    const auto before = fs::last_write_time(At("in.png"));
    const std::string input_bytes = FileText(At("in.png"));
    ExpectEachRefused(cases);
    EXPECT_EQ(FileText(At("in.png")), input_bytes);
    EXPECT_EQ(fs::last_write_time(At("in.png")), before);
}

// --save-look writes the look only once the render succeeded: a render that fails, before the first frame or
// after some, leaves an existing look file as it was.
TEST_F(BadInput, SavedLookSurvivesAFailedRender)
{
    std::ofstream(At("look.json")) << "my look";
    const CliRun folder_output = Run({"render", "in.png", "-o", "taken.png", "--save-look", "look.json"});
    EXPECT_NE(folder_output.status, 0);
    fs::copy_file(At("in.png"), At("in.01.png"));
    fs::copy_file(At("garbage.png"), At("in.02.png"));
    const CliRun bad_frame = Run({"render", "in.%02d.png", "-o", "out.%02d.png", "--frames", "1-2", "--save-look",
                                  "look.json"});
    EXPECT_NE(bad_frame.status, 0);
    EXPECT_NE(bad_frame.err.find("cannot read in.02.png"), std::string::npos) << bad_frame.err;
    EXPECT_TRUE(Exists("out.01.png"));
    EXPECT_EQ(FileText(At("look.json")), "my look");
}

// A failed render leaves an existing output as it was.
TEST_F(BadInput, ExistingOutputSurvivesAFailedRender)
{
    ASSERT_EQ(Run({"render", "in.png", "-o", "out.png", "--preset", "Silk"}).status, 0);
    const std::string rendered = FileText(At("out.png"));
    EXPECT_NE(Run({"render", "in.png", "-o", "out.png", "--set", "Strength=99"}).status, 0);
    EXPECT_NE(Run({"render", "garbage.png", "-o", "out.png"}).status, 0);
    EXPECT_EQ(FileText(At("out.png")), rendered);
    EXPECT_TRUE(FilesContaining(folder, ".part-").empty());
}
