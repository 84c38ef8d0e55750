// Which OrvoSwitch.so the tools pick without --plugin, over a fake tree
// with a build folder's, a system install's and a user install's places.
#include "plugin_search.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using orvo::render::findDefaultPlugin;

namespace {

class PluginSearch : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("orvo-search-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "usr/bin");
        fs::create_directories(root / "home");
    }
    void TearDown() override { fs::remove_all(root); }

    std::string put(const std::string& relative) {
        fs::path file = root / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
        return file.string();
    }
    std::string bin() const { return (root / "usr/bin").string() + "/"; }
    std::string home() const { return (root / "home").string(); }

    fs::path root;
};

TEST_F(PluginSearch, BuildFolderThenSystemInstallThenUserInstall) {
    std::string user = put("home/.vst/OrvoSwitch.so");
    EXPECT_EQ(findDefaultPlugin(bin(), home().c_str()), user);
    // The tool's own install wins over the user's, which may be older.
    std::string system = put("usr/lib/vst/OrvoSwitch.so");
    EXPECT_EQ(fs::canonical(findDefaultPlugin(bin(), home().c_str())), fs::canonical(system));
    // And a plug-in built beside the tool wins over both.
    std::string beside = put("usr/bin/OrvoSwitch.so");
    EXPECT_EQ(findDefaultPlugin(bin(), home().c_str()), beside);
}

TEST_F(PluginSearch, NothingFoundNamesTheBuildFolderPath) {
    EXPECT_EQ(findDefaultPlugin(bin(), home().c_str()), bin() + "OrvoSwitch.so");
    // Without HOME there is no user folder to look in.
    EXPECT_EQ(findDefaultPlugin(bin(), nullptr), bin() + "OrvoSwitch.so");
    EXPECT_EQ(findDefaultPlugin(bin(), ""), bin() + "OrvoSwitch.so");
    // What a newcomer is told: every place searched, and how to fill one.
    const std::string message = orvo::render::missingPluginMessage(orvo::render::pluginSearchPlaces(bin(), home().c_str()));
    for (const char* place : {"usr/bin/OrvoSwitch.so", "usr/bin/../lib/vst/OrvoSwitch.so", "home/.vst/OrvoSwitch.so"})
        EXPECT_NE(message.find(root.string() + "/" + place), std::string::npos) << place << ": " << message;
    EXPECT_NE(message.find("cmake --install build/linux --prefix ~/.local"), std::string::npos) << message;
}

}  // namespace
