// The module shows a host exactly its two entry points: read straight from its ELF dynamic symbol table.
#include <gtest/gtest.h>

#if defined(__linux__)
#include "ElfExports.h"

namespace {

TEST(ModuleExports, ExactlyTheTwoEntryPoints)
{
    const std::string path = QF_MODULE_PATH;
    EXPECT_EQ(path.substr(path.find_last_of('/') + 1), "Quaverflux.so");
    const std::set<std::string> expected = {"EffectMain", "PluginDataEntryFunction2"};
    EXPECT_EQ(ExportedSymbols(path), expected);
}

}   // namespace
#endif
