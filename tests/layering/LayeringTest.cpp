// The tree keeps the layering its DEPS files write down, and the check does catch a crossing and a circle.
#include "Layering.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// A throw-away tree of folders with DEPS files and sources.
class SmallTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "qf-layers-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& relative, const std::string& text)
    {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << text;
    }

    fs::path root_;
};

}   // namespace

TEST(Layering, TheSourceTreeKeepsItsRules)
{
    const std::vector<std::string> faults = CheckLayering(QF_SOURCE_DIR);
    EXPECT_TRUE(faults.empty()) << Joined(faults);
}

TEST_F(SmallTree, AnIncludeAgainstTheRulesIsReported)
{
    Write("low/DEPS", "# nothing\n");
    Write("low/Low.h", "#pragma once\n#include <vector>\n");
    Write("low/Own.h", "#include \"Low.h\"\n");
    Write("high/DEPS", "low\n");
    Write("high/High.h", "#include \"Low.h\"\n");
    Write("sdk/DEPS", "");
    Write("sdk/part/Types.h", "");
    Write("sdk/Other.h", "");
    Write("ui/DEPS", "sdk/part   # only the drawing types\n");
    Write("ui/Draw.cpp", "#include \"part/Types.h\"\n");
    EXPECT_TRUE(CheckLayering(root_).empty()) << Joined(CheckLayering(root_));

    Write("low/Low.cpp", "#include \"High.h\"\n");
    Write("ui/Draw.h", "#include <Other.h>\n");
    EXPECT_EQ(CheckLayering(root_),
              (std::vector<std::string>{"low/Low.cpp includes high/High.h, which low/DEPS does not allow",
                                        "ui/Draw.h includes sdk/Other.h, which ui/DEPS does not allow"}));
}

TEST_F(SmallTree, CirclesMissingRulesAndAmbiguousNamesAreReported)
{
    Write("a/DEPS", "b\n");
    Write("a/One.h", "#include \"Two.h\"\n");
    Write("a/Two.h", "#include \"Three.h\"\n");
    Write("a/Three.h", "#include \"One.h\"\n");
    Write("a/Uses.cpp", "#include \"Same.h\"\n");
    Write("b/DEPS", "");
    Write("b/Same.h", "");
    Write("c/Same.h", "");
    EXPECT_EQ(CheckLayering(root_),
              (std::vector<std::string>{"c/ has no DEPS file",
                                        "a/Uses.cpp: \"Same.h\" names 2 files (b/Same.h, c/Same.h)",
                                        "include circle: a/One.h -> a/Two.h -> a/Three.h -> a/One.h"}));
}
