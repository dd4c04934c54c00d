// The About text, through PF_Cmd_ABOUT and through its formatter.
#include "EffectAbout.h"
#include "EffectIdentity.h"
#include "PluginHost.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

using About = PluginHost;

TEST_F(About, CommandWritesSixLinesSeparatedByCarriageReturns)
{
    std::memset(host.module().out_data().return_msg, 'x', sizeof host.module().out_data().return_msg);
    ASSERT_EQ(host.module().SendCommand(PF_Cmd_ABOUT), PF_Err_NONE);
    const std::string text = host.module().out_data().return_msg;
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 6u) << text;
    EXPECT_EQ(lines[0], "Quaverflux 1.0.0");
    EXPECT_EQ(lines[1], "GPU-accelerated liquid wave warp: melting drips, mirrored folds and repeats.");
    EXPECT_EQ(lines[2], "");
    EXPECT_NE(lines[3].find("Tessaloom"), std::string::npos);
    EXPECT_EQ(lines[4], SUPPORT_URL);
    EXPECT_EQ(lines[5], "Copyright (C) 2026 Tessaloom");
    EXPECT_EQ(lines[5], COPYRIGHT);   // the version resource says the same
}

TEST(AboutText, LongTextIsCutAt255CharactersAndTerminated)
{
    AboutValues values = EffectAboutValues();
    const std::string long_address = "https://tessaloom.com/" + std::string(300, 'q');
    values.web_address = long_address.c_str();
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    FormatAboutText(buffer, 256, values);
    EXPECT_EQ(std::strlen(buffer), 255u);
    EXPECT_EQ(buffer[255], '\0');
    EXPECT_EQ(buffer[256], 'x');   // nothing past the capacity
    EXPECT_EQ(std::string(buffer, 17), "Quaverflux 1.0.0\r");
}

TEST(AboutText, ZeroCapacityOrNoBufferWritesNothing)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    WriteAboutText(buffer, 0);
    for (char c : buffer) {
        EXPECT_EQ(c, 'x');
    }
    WriteAboutText(nullptr, 256);
    WriteAboutText(buffer, 5);
    EXPECT_STREQ(buffer, "Quav");
}

}   // namespace
