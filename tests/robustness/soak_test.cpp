// A short soak in the suite: the sample demo over a few thousand frames with
// resident memory unchanged after the warm-up. The long run is the zor-soak
// command (docs/robustness.md).

#include <gtest/gtest.h>

#include "robustness_util.h"
#include "soak.h"

namespace zor::robust {
namespace {

TEST(Soak, SampleDemoPlaysWithConstantMemory) {
    TempFolder dir;
    soak::writeDemoArchive(dir.path());
    soak::SoakOptions options;
    options.folder = dir.path();
    options.frames = 2000;
    options.warmUpFrames = 300;
    const soak::SoakResult r = soak::runSoak(options);
    ASSERT_TRUE(r.loaded) << report(r.diagnostics);
    EXPECT_GT(r.objects, 10);
    EXPECT_GT(r.lights, 0);
    EXPECT_EQ(r.framesRun, 2000);
    EXPECT_GT(r.polygonsDrawn, r.framesRun);
    ASSERT_GT(r.rssStartKiB, 0);
    EXPECT_LE(r.rssEndKiB - r.rssStartKiB, 64) << "start " << r.rssStartKiB << " KiB, end " << r.rssEndKiB << " KiB";
    // The demo's files are sound: loading them reports nothing.
    EXPECT_TRUE(r.diagnostics.empty()) << report(r.diagnostics);
}

TEST(Soak, MissingSceneIsReportedNotPlayed) {
    TempFolder dir;
    soak::SoakOptions options;
    options.folder = dir.path();
    options.frames = 10;
    const soak::SoakResult r = soak::runSoak(options);
    EXPECT_FALSE(r.loaded);
    EXPECT_EQ(r.framesRun, 0);
    EXPECT_TRUE(r.diagnostics.hasErrors()) << report(r.diagnostics);
}

}  // namespace
}  // namespace zor::robust
