// tools/run-game.sh: every run brings the build tree up to date before it
// starts the game, not only the first. A stand-in cmake on PATH records
// what the script asks of it and makes a stand-in game that records its
// arguments.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool writeScript(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    return out && ::chmod(path.c_str(), 0755) == 0;
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(RunCommand, EveryRunBuildsIncrementallyThenStartsTheGame) {
    char tmpl[] = "/tmp/mekko-run-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, log = dir + "/log", build = dir + "/build";
    ASSERT_EQ(::mkdir((dir + "/bin").c_str(), 0700), 0);
    // Configuring makes the cache; building makes the game, only inside the
    // test's own folder.
    ASSERT_TRUE(writeScript(dir + "/bin/cmake",
                            "#!/bin/sh\n"
                            "echo \"cmake $*\" >> \"$LOG\"\n"
                            "case \"$1:$2\" in\n"
                            "  --build:" + dir + "/*)\n"
                            "    mkdir -p \"$2/host\"\n"
                            "    printf '#!/bin/sh\\necho \"mekko $*\" >> \"$LOG\"\\n' > \"$2/host/mekko\"\n"
                            "    chmod 755 \"$2/host/mekko\" ;;\n"
                            "esac\n"
                            "if [ \"$1\" = -S ]; then mkdir -p \"$4\" && touch \"$4/CMakeCache.txt\"; fi\n"));
    const std::string cmd = "cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u MEKKO_BIN PATH='" + dir +
                            "/bin':\"$PATH\" LOG='" + log + "' MEKKO_BUILD_DIR='" + build + "' TMPDIR='" + dir +
                            "' bash '" KELPA_SOURCE_DIR "/tools/run-game.sh' --frames 3 >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    std::vector<std::string> got = lines(log);
    ASSERT_EQ(got.size(), 5u) << ::testing::PrintToString(got);
    EXPECT_EQ(got[0], "cmake -S . -B " + build);
    for (size_t i : {1u, 3u}) {
        EXPECT_EQ(got[i].rfind("cmake --build " + build + " -j", 0), 0u) << got[i];
        EXPECT_NE(got[i].find(" --target mekko"), std::string::npos) << got[i];
    }
    for (size_t i : {2u, 4u}) {
        EXPECT_EQ(got[i].rfind("mekko --headless --shots " + dir + "/mekko-shots-", 0), 0u) << got[i];
        EXPECT_NE(got[i].find(" --frames 3"), std::string::npos) << got[i];
    }
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

}  // namespace
