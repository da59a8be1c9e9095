// zor-publish over a small play folder of loose files (a scene from the
// corpus) with stand-in runtimes that carry the page's markers: what it packs,
// what each output holds, and what it refuses. The real page plays what it
// writes in the browser cases (tests/web).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/pack_file.h"
#include "child_process.h"
#include "scratch_dir.h"
#include "writers/web_page.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

struct Publish : testing::Test {
    test::ScratchDir dir{"publish"};
    fs::path play = dir / "play", web = dir / "web-runtime", windows = dir / "windows-runtime";

    void SetUp() override {
        const fs::path corpus = fs::path(ZOR_CORPUS_DIR) / "java3d";
        fs::create_directories(play);
        fs::copy_file(corpus / "ballcone.lws", play / "glorp2.lws");
        for (const char* name : {"greenball.lwo", "redcone.lwo"}) fs::copy_file(corpus / name, play / name);
        dir.write("play/mp3.mp3", std::string("ID3 not really music"));
        // The runtime as the build lays it out: index.html loads the page's
        // scripts; every other file names itself.
        std::string index = "<title>ZOR @ QUENT7</title>\n<!-- zor:head -->\n<!-- zor:data -->\n";
        for (const web::WebFile& file : web::kWebRuntimeFiles) {
            if (file.role == web::WebFileRole::Script) index += "<script src=\"" + std::string(file.name) + "\"></script>\n";
            if (file.role != web::WebFileRole::Page)
                dir.write("web-runtime/" + std::string(file.name), "/* " + std::string(file.name) + " */");
        }
        dir.write("web-runtime/index.html", index);
        dir.write("windows-runtime/zor.exe", std::string("MZ"));
        dir.write("windows-runtime/README.txt", std::string("how to play"));
        // A demo's file beside the player (the Windows download's sample) is
        // not part of the runtime.
        dir.write("windows-runtime/water.avi", std::string("the sample's"));
    }
    test::ShellRun publish(const std::string& arguments) {
        return test::runShell("SDL_VIDEODRIVER=offscreen '" + std::string(ZOR_PUBLISH_PATH) + "' '" + play.string() +
                                  "' --web-runtime '" + web.string() + "' --windows-runtime '" + windows.string() +
                                  "' " + arguments,
                              dir.path());
    }
    // The entry names of an archive.
    static std::vector<std::string> entries(const fs::path& archive) {
        PackFile pack(archive.string());
        std::vector<std::string> names;
        for (int i = 0; i < pack.entryCount(); ++i) names.emplace_back(pack.entry(i).name);
        return names;
    }
};

TEST_F(Publish, PacksTheLooseFilesAndWritesTheSiteThePageAndTheZip) {
    dir.write("play/demo-info.txt", std::string("title: The folder's own\nauthor: A. Uthor\n"));
    const test::ShellRun r = publish("--web site --html one.html --windows win.zip --title 'Ball <&> cone' --no-poster");
    ASSERT_EQ(r.status, 0) << r.out;
    // The loose files the scene reads, packed as zorpack packs them, and what
    // the demo is called: the folder's own, with the title given.
    const fs::path archive = dir / "site/zor.dat";
    EXPECT_EQ(entries(archive),
              (std::vector<std::string>{"glorp2.lws", "greenball.lwo", "redcone.lwo", "demo-info.txt"}));
    PackFile pack(archive.string());
    const std::optional<Bytes> info = pack.readEntryAt(pack.findEntry("demo-info.txt"));
    ASSERT_TRUE(info);
    EXPECT_EQ(std::string(info->begin(), info->end()), "title: Ball <&> cone\nauthor: A. Uthor\n");
    // The site lists its demo's files for the page.
    EXPECT_EQ(test::readText(dir / "site/demo-files.json"), "{\"files\":[\"zor.dat\",\"mp3.mp3\"]}\n");
    for (const char* name : {"index.html", "index.html.gz", "page.js", "zor.wasm.gz", "mp3.mp3", "LICENSE.txt", "README"})
        EXPECT_TRUE(fs::exists(dir / "site" / name)) << name;
    EXPECT_EQ(test::readText(dir / "site/README"), "/* SERVING.md */");
    const std::string site = test::readText(dir / "site/index.html");
    EXPECT_NE(site.find("<title>Ball &lt;&amp;&gt; cone</title>"), std::string::npos) << site;
    EXPECT_NE(site.find("\"title\":\"Ball <&> cone\""), std::string::npos) << site;
    // The single file: the scripts written in, the player and the demo as
    // data blocks, nothing left to fetch.
    const std::string page = test::readText(dir / "one.html");
    EXPECT_EQ(page.find("src=\"page.js\""), std::string::npos);
    EXPECT_EQ(page.find("<script src="), std::string::npos) << "a script left to fetch";
    EXPECT_NE(page.find("/* page.js */"), std::string::npos);
    for (const char* name : {"zor.wasm", "zor.js", "zor.dat", "mp3.mp3", "LICENSE.txt"})
        EXPECT_NE(page.find(std::string("data-zor-file=\"") + name + "\""), std::string::npos) << name;
    const test::ShellRun listed = test::runShell("unzip -l '" + (dir / "win.zip").string() + "'", dir.path());
    for (const char* name : {"win/zor.exe", "win/README.txt", "win/zor.dat", "win/mp3.mp3"})
        EXPECT_NE(listed.out.find(name), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("water.avi"), std::string::npos) << listed.out;
    // Nothing is replaced unless asked.
    const test::ShellRun again = publish("--web site --no-poster");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("site: already exists (--force replaces it)"), std::string::npos) << again.out;
    EXPECT_EQ(publish("--web site --no-poster --force").status, 0);
}

TEST_F(Publish, ErrorsOfTheCheckAndMissingRuntimesStopIt) {
    fs::remove(play / "redcone.lwo");
    fs::remove(play / "greenball.lwo");
    test::ShellRun r = publish("--web site --no-poster");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("errors; nothing was written (--ignore-errors publishes anyway)"), std::string::npos)
        << r.out;
    EXPECT_FALSE(fs::exists(dir / "site"));
    // Replacing outputs is not publishing past errors.
    EXPECT_EQ(publish("--web site --no-poster --force").status, 1);
    EXPECT_FALSE(fs::exists(dir / "site"));
    EXPECT_EQ(publish("--web site --no-poster --ignore-errors").status, 0);
    r = test::runShell("'" + std::string(ZOR_PUBLISH_PATH) + "' '" + play.string() + "' --windows w.zip --windows-runtime '" +
                           (dir / "none").string() + "'",
                       dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the windows runtime given: " + (dir / "none").string() + " does not exist"), std::string::npos)
        << r.out;
    EXPECT_EQ(test::runShell("'" + std::string(ZOR_PUBLISH_PATH) + "' '" + play.string() + "'", dir.path()).status, 2);
    // An archive it does not write is not made a folder of that name.
    r = publish("--web x.tar.xz --no-poster");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("not a .tar.xz: x.tar.xz"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "x.tar.xz"));
}

}  // namespace
}  // namespace zor
