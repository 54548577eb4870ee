#include "analysis/PostAnalysisPrompts.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QList<MediaFile> media(std::initializer_list<const char*> paths) {
    QList<MediaFile> list;
    for (const char* p : paths) {
        MediaFile f;
        f.path = QString::fromUtf8(p);
        list.append(f);
    }
    return list;
}

} // namespace

TEST(PostAnalysisPrompts, RaisesEachPromptOnlyWhileNotYetRaised) {
    const QList<MediaFile> files = media({"/m/A001.MXF"});
    PostAnalysisPrompts::Inputs in{3, 1, false, [] { return false; }, &files};
    EXPECT_EQ(PostAnalysisPrompts::duePrompts({}, in), (PostAnalysisPrompts::Due{true, true, true}));
    EXPECT_EQ(PostAnalysisPrompts::duePrompts({true, true, true}, in), (PostAnalysisPrompts::Due{}));
    in.offlineFiles = 0;
    in.uncertainAEFiles = 0;
    EXPECT_EQ(PostAnalysisPrompts::duePrompts({}, in), (PostAnalysisPrompts::Due{false, false, true}));
}

TEST(PostAnalysisPrompts, FormatsPromptNeedsMxfNoSandboxAndNoInstalledFormats) {
    const QList<MediaFile> mxf = media({"/m/a.mov", "/m/b.mxf"});
    const QList<MediaFile> none = media({"/m/a.mov", "/m/mxf", "/m/b.mxf.mov"});
    int asked = 0;
    const auto installed = [&](bool answer) {
        return [&asked, answer] {
            ++asked;
            return answer;
        };
    };
    EXPECT_TRUE(PostAnalysisPrompts::duePrompts({}, {0, 0, false, installed(false), &mxf}).proVideoFormats);
    EXPECT_FALSE(PostAnalysisPrompts::duePrompts({}, {0, 0, false, installed(true), &mxf}).proVideoFormats);
    EXPECT_FALSE(PostAnalysisPrompts::duePrompts({}, {0, 0, false, installed(false), &none}).proVideoFormats);
    asked = 0;
    // Inside the sandbox the formats are never looked for.
    EXPECT_FALSE(PostAnalysisPrompts::duePrompts({}, {0, 0, true, installed(false), &mxf}).proVideoFormats);
    EXPECT_EQ(asked, 0);
}

TEST(PostAnalysisPrompts, MxfTestReadsTheLastExtensionOnly) {
    EXPECT_TRUE(PostAnalysisPrompts::hasMXFMedia(media({"/a/b.Mxf"})));
    EXPECT_FALSE(PostAnalysisPrompts::hasMXFMedia(media({"/a.mxf/b", "/a/b.mxf."})));
    EXPECT_TRUE(PostAnalysisPrompts::hasMXFMedia(media({"/a/.MXF"}))) << "a name that is only the extension";
    EXPECT_FALSE(PostAnalysisPrompts::hasMXFMedia(media({"/a.mxf/b.mov"})));
    EXPECT_FALSE(PostAnalysisPrompts::hasMXFMedia({}));
}
