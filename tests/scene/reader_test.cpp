// The scene text rules: header, state changes, skipped tokens, names,
// parents, envelopes, lights, and where the text comes from.
#include <bit>
#include <cstdint>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "archive/data_source.h"
#include "scene/decimal.h"
#include "scene/motion.h"
#include "scene_test_util.h"

namespace zor {
namespace {

using testing::Parsed;

constexpr const char* kMotion1 = " (unnamed)\n 9\n 1\n 1 2 3 4 5 6 7 8 9\n 0 0 0.0 0.0 0.0\nEndBehavior 1\n";

TEST(TokenStream, TokensNumbersAndPositions) {
    TokenStream t("  alpha\tbeta\n\n-12 +7x 3.5e1 .25 -1. 5e 1e999 word", "t.txt", nullptr);
    EXPECT_EQ(t.nextToken(), "alpha");
    const TokenStream::Position afterAlpha = t.position();
    EXPECT_EQ(t.nextToken(), "beta");
    EXPECT_EQ(t.tokenLine(), 1);
    std::int32_t i = 99;
    float f = 99;
    EXPECT_TRUE(t.readInt(i));
    EXPECT_EQ(i, -12);
    EXPECT_EQ(t.tokenLine(), 3);
    EXPECT_TRUE(t.readInt(i));
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(t.readInt(i));  // "x" is left for the next read
    EXPECT_EQ(i, 7);
    EXPECT_EQ(t.nextToken(), "x");
    EXPECT_TRUE(t.readReal(f));
    EXPECT_FLOAT_EQ(f, 35.0f);
    EXPECT_TRUE(t.readReal(f));
    EXPECT_FLOAT_EQ(f, 0.25f);
    EXPECT_TRUE(t.readReal(f));
    EXPECT_FLOAT_EQ(f, -1.0f);
    EXPECT_TRUE(t.readReal(f));  // "5e": the number is 5, "e" stays
    EXPECT_FLOAT_EQ(f, 5.0f);
    EXPECT_EQ(t.nextToken(), "e");
    f = 4;
    EXPECT_TRUE(t.readReal(f));  // out of range: consumed, nothing stored
    EXPECT_EQ(f, 4);
    EXPECT_FALSE(t.readReal(f));
    EXPECT_EQ(t.nextToken(), "word");
    EXPECT_EQ(t.nextToken(), "");
    EXPECT_FALSE(t.readInt(i));
    t.seek(afterAlpha);
    EXPECT_EQ(t.nextToken(), "beta");
}

TEST(TokenStream, LongRunsAreCutAfter255Bytes) {
    const std::string text = std::string(300, 'a') + " b";
    TokenStream t(text, "t.txt", nullptr);
    EXPECT_EQ(t.nextToken().size(), 255u);
    EXPECT_EQ(t.nextToken().size(), 45u);
    EXPECT_EQ(t.nextToken(), "b");
}

TEST(TokenStream, IntegerOverflowSaturatesWithAWarning) {
    Diagnostics d;
    TokenStream t("99999999999 -99999999999", "t.txt", &d);
    std::int32_t i = 0;
    EXPECT_TRUE(t.readInt(i));
    EXPECT_EQ(i, 2147483647);
    EXPECT_TRUE(t.readInt(i));
    EXPECT_EQ(i, -2147483647 - 1);
    EXPECT_EQ(d.count(Severity::Warning), 2u);
}

// The WebAssembly build converts numbers with strtod, the native one with
// from_chars: the same double (or the same refusal) for every number of the
// real scenes, the sample demo's scene and the edges of double's range.
TEST(TokenStream, BothNumberConversionsAgreeOnRealScenes) {
#if !defined(ZOR_HAVE_FLOAT_FROM_CHARS)
    GTEST_SKIP() << "this standard library has no floating-point from_chars";
#else
    std::vector<std::string> texts;
    std::ifstream list(std::string(ZOR_CORPUS_DIR) + "/scenes.tsv");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::ifstream file(std::string(ZOR_CORPUS_DIR) + "/" + line.substr(0, line.find('\t')), std::ios::binary);
        texts.push_back((std::stringstream() << file.rdbuf()).str());
    }
    DataSource demo{std::string(ZOR_BINARY_DIR) + "/demo", "zor.dat"};
    if (auto scene = readDataFile(demo, "glorp2.lws")) texts.emplace_back(scene->begin(), scene->end());
    texts.push_back("1e-400 -1e-400 1e-310 2.4e-324 2.5e-324 1.8e308 1.7976931348623158e308 -0 0.000 "
                    "123.456e-2 0.1 3.4028235e38 1e400 00000000000000000000000000001.5");
    ASSERT_GE(texts.size(), 3u);

    const std::regex number("-?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?");
    std::size_t compared = 0;
    for (const std::string& text : texts) {
        for (auto it = std::sregex_iterator(text.begin(), text.end(), number); it != std::sregex_iterator(); ++it) {
            const std::string token = it->str();
            double a = -7, b = -7;
            const bool fromChars = parseDecimalFromChars(token, a);
            ASSERT_EQ(fromChars, parseDecimalStrtod(token, b)) << token;
            if (fromChars) {
                EXPECT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << token;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 5000u);
#endif
}

TEST(FindKeyword, StopsJustAfterTheMatchOrFailsAtTheEnd) {
    TokenStream t("a EndBehaviour EndBehavior 2 endbehavior", "t", nullptr);
    EXPECT_TRUE(findKeyword(t, "EndBehavior"));
    EXPECT_EQ(t.nextToken(), "2");
    EXPECT_FALSE(findKeyword(t, "EndBehavior"));
}

TEST(SceneHeader, ValuesAndMissingKeywords) {
    Scene all;
    parseScene(all, "PreviewFirstFrame 5\nPreviewLastFrame 90\nPreviewFrameStep 2\nFramesPerSecond 25.5\n", "a", {},
               nullptr);
    EXPECT_EQ(all.firstFrame, 5);
    EXPECT_EQ(all.lastFrame, 90);
    EXPECT_EQ(all.frameStep, 2);
    EXPECT_FLOAT_EQ(all.framesPerSecond, 25.5f);

    // Without PreviewLastFrame every later search fails too, and the body is
    // still read from the start.
    Scene scene;
    scene.lastFrame = 77;
    scene.frameStep = 3;
    Diagnostics d;
    parseScene(scene, "PreviewFirstFrame 4\nPreviewFrameStep 9\nFramesPerSecond 30\nAddLight\n", "h.lws", {}, &d);
    EXPECT_EQ(scene.firstFrame, 4);
    EXPECT_EQ(scene.lastFrame, 77);
    EXPECT_EQ(scene.frameStep, 3);
    EXPECT_EQ(scene.lightCount(), 1);
    EXPECT_TRUE(d.contains("PreviewLastFrame not found"));
    EXPECT_FALSE(d.hasErrors());

    // Out of order: FramesPerSecond before the preview lines is passed by.
    Scene order;
    parseScene(order, "FramesPerSecond 24 PreviewFirstFrame 1 PreviewLastFrame 2 PreviewFrameStep 1", "o", {}, nullptr);
    EXPECT_EQ(order.lastFrame, 2);
    EXPECT_EQ(order.framesPerSecond, 0.0f);
}

TEST(SceneBody, StatesKeywordsAndSkippedTokens) {
    // Case matters; a motion before any object is skipped with its numbers;
    // unknown keywords and their values pass one token at a time.
    Parsed p(std::string("loadobject Ship.lwo\nObjectMotion") + kMotion1 +
             "ShowObject 8 7\nLoadObject Ship.lwo\nLockedChannels 3\nObjectMotion" + kMotion1 +
             "PivotPoint 1 -2.5 3e1\nBoneFalloffType 3\nShadowOptions 7\n");
    ASSERT_EQ(p.scene.objectCount(), 1) << p.report();
    const SceneObject& o = p.scene.objects[0];
    EXPECT_EQ(o.motion.keyCount, 1);
    EXPECT_EQ(o.motion.channelCount, 9);
    EXPECT_EQ(o.motion.keys[0].value[8], 9.0f);
    EXPECT_EQ(o.motion.endBehavior, 1);
    EXPECT_EQ(o.pivot[0], 1.0f);
    EXPECT_EQ(o.pivot[1], -2.5f);
    EXPECT_EQ(o.pivot[2], 30.0f);
    EXPECT_EQ(o.boneFalloffType, 3);
    EXPECT_EQ(o.shadowOptions, 7);
    EXPECT_EQ(p.loader.loaded, std::vector<std::string>{"Ship.lwo"});
}

TEST(SceneBody, NullObjectNamesAreSkippedAsTokens) {
    Parsed p("AddNullObject Pivot\nShadowOptions 2\nAddNullObject ShadowOptions 5\n");
    ASSERT_EQ(p.scene.objectCount(), 2);
    EXPECT_EQ(p.scene.objects[0].name, "NULL");
    EXPECT_EQ(p.scene.objects[0].shadowOptions, 2);
    // The second null object's "name" is an object keyword and is taken as one.
    EXPECT_EQ(p.scene.objects[1].shadowOptions, 5);
    EXPECT_TRUE(p.loader.loaded.empty());
}

TEST(ObjectNames, BaseNameRule) {
    EXPECT_EQ(objectBaseName("Objects\\Ship.lwo"), "Ship.lwo");
    EXPECT_EQ(objectBaseName("Ship"), "Ship.lwo");
    EXPECT_EQ(objectBaseName("Ship.old.lwo"), "Ship.lwo");
    EXPECT_EQ(objectBaseName("Objects/Ship.lwo"), "Objects/Ship.lwo");
    EXPECT_EQ(objectBaseName("C:\\old.dir\\Ship"), "Ship.lwo");
    EXPECT_EQ(objectBaseName("dir\\"), ".lwo");
}

TEST(ObjectNames, StoredNameKeeps27CharactersLoaderGetsAll) {
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    Parsed p("LoadObject Objects\\" + longName + ".lwo\n", {{longName + ".lwo", 3}});
    ASSERT_EQ(p.scene.objectCount(), 1);
    EXPECT_EQ(p.scene.objects[0].name, longName.substr(0, 27));
    EXPECT_EQ(p.loader.loaded, std::vector<std::string>{longName + ".lwo"});
    EXPECT_EQ(p.scene.objects[0].pointCount, 3);
}

TEST(ObjectNames, SpecialNamesLoadNothingAndAreUnlit) {
    Parsed p("LoadObject Objects\\mcube.lwo\nLoadObject mball\nLoadObject MBALL.lwo\n", {{"MBALL.lwo", 2}});
    ASSERT_EQ(p.scene.objectCount(), 3);
    EXPECT_EQ(p.scene.objects[0].name, "mcube.lwo");
    EXPECT_EQ(p.scene.objects[0].unlit, 1);
    EXPECT_EQ(p.scene.objects[1].name, "mball.lwo");
    EXPECT_EQ(p.scene.objects[1].unlit, 1);
    EXPECT_EQ(p.scene.objects[1].pointCount, 0);
    EXPECT_EQ(p.scene.objects[2].unlit, 0);  // compared byte for byte
    EXPECT_EQ(p.loader.loaded, std::vector<std::string>{"MBALL.lwo"});
}

TEST(SceneLinks, ParentsInObjectBoneAndLightBlocks) {
    Parsed p("LoadObject A\nAddNullObject N\nLoadObject B\nParentObject 2\n"
             "AddBone\nBoneStrength 1\nAddBone\nBoneStrength 1\nParentObject 1\nShadowOptions 6\nPivotPoint 9 9 9\n"
             "LoadObject C\nParentObject 0\n"
             "AddLight\nParentObject 3\nAddLight\n",
             {{"A.lwo", 1}, {"B.lwo", 2}});
    ASSERT_EQ(p.scene.objectCount(), 4) << p.report();
    const Scene& s = p.scene;
    EXPECT_EQ(s.objects[0].parent, nullptr);
    EXPECT_EQ(s.objects[2].parent, &s.objects[1]);
    EXPECT_EQ(s.objects[3].parent, nullptr);
    // ParentObject inside a bone block names a bone and leaves the object alone.
    ASSERT_EQ(s.objects[2].boneCount, 2);
    EXPECT_EQ(s.objects[2].bones[0].parent, nullptr);
    EXPECT_EQ(s.objects[2].bones[1].parent, &s.objects[2].bones[0]);
    // ShadowOptions after the bones still belongs to the object; PivotPoint
    // is no bone-block rule and is skipped there.
    EXPECT_EQ(s.objects[2].shadowOptions, 6);
    EXPECT_EQ(s.objects[2].pivot[0], 0.0f);
    ASSERT_EQ(s.lightCount(), 2);
    EXPECT_EQ(s.lights[0].parent, &s.objects[2]);
    EXPECT_EQ(s.lights[1].parent, nullptr);
    EXPECT_TRUE(p.diagnostics.empty()) << p.report();
}

TEST(SceneLinks, BoneRulesAndTheirValues) {
    Parsed p("LoadObject A\nBoneFalloffType 1\nAddBone\nBoneActive 1\nBoneRestPosition 1 2 3\n"
             "BoneRestDirection 10 20 30\nBoneRestLength 2.5\nBoneStrength 3\nScaleBoneStrength 1\n"
             "BoneLimitedRange 1\nBoneMinRange 0.5\nBoneMaxRange 1e3\nBoneMotion" + std::string(kMotion1) +
             "ObjDissolve 0.25\n",
             {{"A.lwo", 2}});
    ASSERT_EQ(p.scene.objectCount(), 1);
    const SceneObject& o = p.scene.objects[0];
    ASSERT_EQ(o.boneCount, 1);
    const SceneBone& b = o.bones[0];
    EXPECT_EQ(b.active, 1);
    EXPECT_EQ(b.restPosition[2], 3.0f);
    EXPECT_EQ(b.restDirection[1], 20.0f);
    EXPECT_EQ(b.restLength, 2.5f);
    EXPECT_EQ(b.strength, 7.5f);  // scaled by the rest length during preparation
    EXPECT_EQ(b.limitedRange, 1);
    EXPECT_EQ(b.minRange, 0.5f);  // "1" after BoneLimitedRange was skipped, not read as the minimum
    EXPECT_EQ(b.maxRange, 1000.0f);
    EXPECT_EQ(b.motion.keyCount, 1);
    EXPECT_EQ(o.hasDissolve, 1);
    EXPECT_EQ(o.dissolve.keys[0].value[0], 0.25f);
    EXPECT_EQ(o.boneFalloffType, 1);
    EXPECT_EQ(b.weights.size(), 2u);
    EXPECT_TRUE(o.weightSums.empty());
    EXPECT_EQ(o.restPoints.size(), 2u);
}

TEST(SceneLinks, MutualMorphTargetsUseThePointsAsLoaded) {
    Parsed p("LoadObject A\nMetamorph 0.5\nMorphTarget 2\nLoadObject B\nMorphTarget 1\nMetamorph (envelope)\n"
             " 1\n 2\n 0\n 0 0 0 0 0\n 1\n 10 1 0 0 0\nEndBehavior 2\n",
             {{"A.lwo", 2}, {"B.lwo", 2}});
    ASSERT_EQ(p.scene.objectCount(), 2) << p.report();
    const SceneObject& a = p.scene.objects[0];
    const SceneObject& b = p.scene.objects[1];
    EXPECT_EQ(a.hasMorph, 1);
    EXPECT_EQ(b.hasMorph, 1);
    EXPECT_EQ(b.morphAmount.keyCount, 2);
    EXPECT_EQ(b.morphAmount.endBehavior, 2);
    EXPECT_EQ(b.morphAmount.keys[1].linear, 1);
    // A's points lie 10 to the left of B's and its normals 1 shorter.
    const std::array<float, 6> aToB = {10, 0, 0, 0, 0, 1};
    const std::array<float, 6> bToA = {-10, 0, 0, 0, 0, -1};
    ASSERT_EQ(a.morphDeltas.size(), 2u);
    ASSERT_EQ(b.morphDeltas.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(a.morphDeltas[i], aToB);
        EXPECT_EQ(b.morphDeltas[i], bToA);
    }
    EXPECT_EQ(a.restPoints.size(), 2u);
    EXPECT_EQ(b.restPoints[1].position[0], 11.0f);
    EXPECT_TRUE(p.diagnostics.empty()) << p.report();
}

TEST(SceneLinks, MorphTargetWithFewerPointsIsRefused) {
    Parsed p("LoadObject A\nLoadObject B\nMorphTarget 1\nMetamorph 1\n", {{"A.lwo", 2}, {"B.lwo", 3}});
    EXPECT_TRUE(p.scene.objects[1].morphDeltas.empty());
    EXPECT_EQ(p.scene.objects[1].hasMorph, 0);
    EXPECT_TRUE(p.diagnostics.contains("fewer than the 3")) << p.report();
}

TEST(SceneLinks, MetamorphWithoutTargetDoesNotMorph) {
    Parsed p("LoadObject A\nMetamorph 1\n", {{"A.lwo", 2}});
    EXPECT_EQ(p.scene.objects[0].hasMorph, 0);
    ASSERT_EQ(p.diagnostics.items().size(), 1u) << p.report();
    EXPECT_EQ(p.diagnostics.items()[0].line, 8);  // after the six header lines and LoadObject
    EXPECT_TRUE(p.diagnostics.contains("no usable MorphTarget"));
}

TEST(SceneLinks, MorphDeltasAreTargetMinusOwn) {
    Scene scene;
    Diagnostics d;
    int call = 0;
    // First object's points at 1, second's at 4 (x), normals 0 and (0, 1, 0).
    parseScene(scene, "LoadObject A\nMorphTarget 2\nMetamorph 0\nLoadObject B\n", "m.lws",
               [&call](std::string&, Mesh& mesh) {
                   mesh.pointCount = 1;
                   mesh.points.resize(1);
                   mesh.points[0].position[0] = call == 0 ? 1.0f : 4.0f;
                   mesh.points[0].normal[1] = call == 0 ? 0.0f : 1.0f;
                   ++call;
               },
               &d);
    ASSERT_EQ(scene.objects[0].morphDeltas.size(), 1u);
    const std::array<float, 6> expected = {3, 0, 0, 0, 1, 0};
    EXPECT_EQ(scene.objects[0].morphDeltas[0], expected);
    EXPECT_EQ(scene.objects[0].hasMorph, 1);
    EXPECT_TRUE(scene.objects[1].morphDeltas.empty());
}

TEST(SceneLights, ColourTypeIntensityFlare) {
    Parsed p("AddLight\nLightColor 255 128 3\nLightType 2\nLensFlare 1\nLgtIntensity 0.8\n"
             "FlareIntensity (envelope)\n 1\n 2\n 0.0\n 0 0 0.0 0.0 0.0\n 1.0\n 30 0 0.0 0.0 0.0\nEndBehavior 1\n"
             "LightMotion" + std::string(kMotion1));
    ASSERT_EQ(p.scene.lightCount(), 1);
    const SceneLight& l = p.scene.lights[0];
    EXPECT_EQ(l.color[0], 63);
    EXPECT_EQ(l.color[1], 32);
    EXPECT_EQ(l.color[2], 0);
    EXPECT_EQ(l.lightType, 2);
    EXPECT_EQ(l.lensFlare, 1);
    ASSERT_EQ(l.intensity.keyCount, 1);
    EXPECT_FLOAT_EQ(l.intensity.keys[0].value[0], 0.8f);
    EXPECT_EQ(l.intensity.lastKeyFrame, 0);
    ASSERT_EQ(l.flareIntensity.keyCount, 2);
    EXPECT_EQ(l.flareIntensity.channelCount, 1);
    EXPECT_EQ(l.flareIntensity.lastKeyFrame, 30);
    EXPECT_EQ(l.flareIntensity.endBehavior, 1);
    EXPECT_EQ(l.flareIntensity.keys[1].value[0], 1.0f);
    EXPECT_EQ(l.motion.keyCount, 1);
    EXPECT_TRUE(p.diagnostics.empty()) << p.report();
}

TEST(SceneCamera, HonouredInEveryState) {
    Parsed p(std::string("AddLight\nZoomFactor -3.2\nLoadObject A\nCameraMotion") + kMotion1 + "AddBone\n");
    const SceneCamera& c = p.scene.camera;
    ASSERT_EQ(c.zoomFactor.keyCount, 1);
    EXPECT_FLOAT_EQ(c.zoomFactor.keys[0].value[0], -3.2f);
    EXPECT_EQ(c.zoomFactor.lastKeyFrame, 0);
    EXPECT_EQ(c.zoomFactor.channelCount, 1);
    EXPECT_EQ(c.motion.keyCount, 1);
    EXPECT_EQ(p.scene.objects[0].motion.keyCount, 0);
}

TEST(SceneEnvelopes, ConstantIsReadOnceAfterSeekingBack) {
    Parsed p("LoadObject A\nObjDissolve 0.5 ShadowOptions 2\nMetamorph ShadowOptions 3\n");
    const SceneObject& o = p.scene.objects[0];
    EXPECT_EQ(o.dissolve.keys[0].value[0], 0.5f);
    // A non-number leaves the key at 0 and the token to the body.
    EXPECT_EQ(o.morphAmount.keyCount, 1);
    EXPECT_EQ(o.morphAmount.keys[0].value[0], 0.0f);
    EXPECT_EQ(o.shadowOptions, 3);
    EXPECT_TRUE(p.diagnostics.contains("expected a number or (envelope)"));
}

TEST(SceneMotions, TextBeforeEndBehaviorIsSkipped) {
    Parsed p("LoadObject A\nObjectMotion (unnamed)\n 1\n 2\n 5\n 0 0 0 0 0\n 6\n 10 0 0 0 0\n"
             " 7\n 20 0 0 0 0\nEndBehavior 2\nShadowOptions 4\n");
    const Motion& m = p.scene.objects[0].motion;
    ASSERT_EQ(m.keyCount, 2);
    EXPECT_EQ(m.lastKeyFrame, 10);
    EXPECT_EQ(m.endBehavior, 2);
    EXPECT_EQ(p.scene.objects[0].shadowOptions, 4);
    EXPECT_TRUE(p.diagnostics.contains("tokens between the keys"));
}

TEST(SceneMotions, MissingEndBehaviorSwallowsUpToTheNextOne) {
    Parsed p("LoadObject A\nObjectMotion (unnamed)\n 1\n 1\n 5\n 0 0 0 0 0\nShadowOptions 4\n"
             "LoadObject B\nObjectMotion (unnamed)\n 1\n 1\n 6\n 0 0 0 0 0\nEndBehavior 0\nShadowOptions 5\n");
    ASSERT_EQ(p.scene.objectCount(), 1);
    EXPECT_EQ(p.scene.objects[0].motion.endBehavior, 0);
    EXPECT_EQ(p.scene.objects[0].shadowOptions, 5);
}

TEST(SceneDiagnostics, MessagesNameFileAndLine) {
    Scene scene;
    Diagnostics d;
    parseScene(scene, "LoadObject A\nLoadObject B\n\nParentObject 9\n", "glorp2.lws", {}, &d);
    ASSERT_EQ(d.items().size(), 2u);
    EXPECT_EQ(d.items()[0].text(),
              "glorp2.lws: header keyword PreviewFirstFrame not found; it and the header values after it keep "
              "their previous values");
    EXPECT_EQ(d.items()[1].text(), "glorp2.lws:4: ParentObject 9 names no object (the scene has 2)");
}

}  // namespace
}  // namespace zor
