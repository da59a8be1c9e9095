// zor-publish over a small play folder of loose files (a scene from the
// corpus) with stand-in runtimes that carry the page's markers: what it packs,
// what each output holds, and what it refuses. The real page plays what it
// writes in the browser cases (tests/web).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
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
    // make_sources.py's quad imported as an author would (zor-import), cut
    // to half a second, with a quarter of a second of music; `play` is it.
    void importModel() {
        const fs::path out = dir / "imported";
        const test::ShellRun made = test::runShell(
            "python3 '" + std::string(ZOR_IMPORT_SOURCES) + "' src && '" + std::string(ZOR_IMPORT_PATH) +
                "' src/quad.obj --out imported -q && sox -q -n -r 22050 -c 1 tone.wav synth 0.25 sine 440 && "
                "lame --quiet -b 64 tone.wav imported/mp3.mp3",
            dir.path());
        ASSERT_EQ(made.status, 0) << made.out;
        std::string scene = test::readText(out / "glorp2.lws");
        const std::size_t last = scene.find("PreviewLastFrame ");
        ASSERT_NE(last, std::string::npos);
        scene.replace(last, scene.find('\n', last) - last, "PreviewLastFrame 15");
        dir.write("imported/glorp2.lws", scene);
        play = out;
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
    // An author's release: its one folder is named after the title.
    for (const char* name : {"Ball & cone/zor.exe", "Ball & cone/README.txt", "Ball & cone/zor.dat", "Ball & cone/mp3.mp3"})
        EXPECT_NE(listed.out.find(name), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("water.avi"), std::string::npos) << listed.out;
    // Nothing is replaced unless asked.
    const test::ShellRun again = publish("--web site --no-poster");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("site: already exists (--force replaces it)"), std::string::npos) << again.out;
    EXPECT_EQ(publish("--web site --no-poster --force").status, 0);
}

// An author's Windows release: one folder named after the title, the
// player without the tools unless asked, the texts a party's archive wants
// and the screenshot.
TEST_F(Publish, WindowsReleaseOfAnImportedModel) {
    importModel();
    dir.write("windows-runtime/zor-import.exe", std::string("MZ"));
    dir.write("windows-runtime/LICENSE.txt", std::string("licence"));
    const std::string naming = " --title '\xC3\x87""a marche: un quad' --author 'Zo\xC3\xAB' --description '" +
                               std::string(60, 'w') + " and then a quad that turns, slowly, for a while'";
    ASSERT_EQ(publish("--windows rel.zip --poster-frame 3" + naming).status, 0);
    ASSERT_EQ(test::runShell("unzip -q rel.zip -d rel", dir.path()).status, 0);
    std::vector<std::string> top;
    for (const fs::directory_entry& e : fs::directory_iterator(dir / "rel")) top.push_back(e.path().filename().string());
    ASSERT_EQ(top, std::vector<std::string>{"Ca marche un quad"});
    const fs::path folder = dir / "rel" / top[0];
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Ca marche un quad.png", "FILE_ID.DIZ", "LICENSE.txt", "README.txt",
                                            "mp3.mp3", "zor.dat", "zor.exe"}));
    const std::string readme = test::readText(folder / "README.txt");
    for (const char* said : {"\xC3\x87""a marche: un quad\r\n", "by Zo\xC3\xAB\r\n", "turns, slowly",
                             "Double-click zor.exe", "-nosound", "-gaudio", "-bass", "-smooth", "--stretch", "--dir",
                             "runs from a read-only folder and changes nothing on the computer"})
        EXPECT_NE(readme.find(said), std::string::npos) << said << "\n" << readme;
    EXPECT_EQ(readme.find("\n"), readme.find("\r\n") + 1) << "Windows line ends";
    // FILE_ID.DIZ: ASCII in lines of at most 45 columns, at most 10 of them.
    const std::string diz = test::readText(folder / "FILE_ID.DIZ");
    EXPECT_NE(diz.find("Ca marche: un quad\r\nby Zoe\r\n"), std::string::npos) << diz;
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = diz.find("\r\n", at)) != std::string::npos; at = end + 2, ++lines)
        EXPECT_LE(end - at, 45u) << diz;
    EXPECT_LE(lines, 10u);
    EXPECT_TRUE(std::all_of(diz.begin(), diz.end(), [](char c) { return c == '\r' || c == '\n' || (c >= 32 && c < 127); }))
        << diz;
    // The screenshot: a PNG whose header says 1920 x 1080.
    const std::string png = test::readText(folder / "Ca marche un quad.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(12, 12), std::string("IHDR\0\0\x07\x80\0\0\x04\x38", 12));
    // The authoring programs only when asked for.
    ASSERT_EQ(publish("--windows tools.zip --with-tools --no-poster" + naming).status, 0);
    EXPECT_NE(test::runShell("unzip -l tools.zip", dir.path()).out.find("Ca marche un quad/zor-import.exe"),
              std::string::npos);
}

// The party's capture: 1080p at 60 frames a second, H.264 at 8 Mbit/s or
// more with AAC, the title in the file.
TEST_F(Publish, VideoOfAnImportedModel) {
    importModel();
    const test::ShellRun r = publish("--video capture.mp4 --title 'A quad'");
    ASSERT_EQ(r.status, 0) << r.out;
    const test::ShellRun probe = test::runShell(
        "ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate:format=bit_rate:format_tags=title "
        "-of flat capture.mp4",
        dir.path());
    for (const char* said : {"streams.stream.0.codec_name=\"h264\"", "width=1920", "height=1080",
                             "r_frame_rate=\"60/1\"", "streams.stream.1.codec_name=\"aac\"",
                             "format.tags.title=\"A quad\""})
        EXPECT_NE(probe.out.find(said), std::string::npos) << said << "\n" << probe.out;
    const std::size_t rate = probe.out.find("format.bit_rate=\"");
    ASSERT_NE(rate, std::string::npos) << probe.out;
    EXPECT_GE(std::stoull(probe.out.substr(rate + 17)), 8'000'000u) << probe.out;
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
