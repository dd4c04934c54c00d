// The web-page seam on this platform: only "https://" addresses, handed to xdg-open as one argument without
// a shell, and an honest answer about whether the launcher started.
#include "WebPage.h"
#include "UiTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(OpenWebPage, RefusesAnythingButHttps)
{
    FakeBrowser browser;
    for (const char* address : {static_cast<const char*>(nullptr), "", "https:/", "http://example.test",
                                "HTTPS://example.test", " https://example.test", "file:///etc/passwd"}) {
        EXPECT_FALSE(OpenWebPage(address)) << (address ? address : "(null)");
    }
    EXPECT_TRUE(browser.Opened().empty());
}

TEST(OpenWebPage, PassesTheAddressAsOneArgumentWithoutAShell)
{
    FakeBrowser browser;
    const std::string address = "https://example.test/a b?q=$(touch injected)&r=`id`;x|y";
    EXPECT_TRUE(OpenWebPage(address.c_str()));
    EXPECT_TRUE(OpenWebPage("https://"));
    // The two launchers run detached, so they may record in either order.
    std::vector<std::string> opened = browser.Opened();
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened, (std::vector<std::string>{"1|https://", "1|" + address}));
    EXPECT_FALSE(std::filesystem::exists("injected"));
}

TEST(OpenWebPage, SaysFalseWhenTheLauncherCannotStart)
{
    FakeBrowser browser("#!/no/such/interpreter\n");
    EXPECT_FALSE(OpenWebPage("https://example.test"));

    std::filesystem::permissions(browser.folder() / "xdg-open", std::filesystem::perms::owner_read);
    setenv("PATH", browser.folder().c_str(), 1);   // and nothing else that could hold an xdg-open
    EXPECT_FALSE(OpenWebPage("https://example.test"));

    std::filesystem::remove(browser.folder() / "xdg-open");
    EXPECT_FALSE(OpenWebPage("https://example.test"));
}
