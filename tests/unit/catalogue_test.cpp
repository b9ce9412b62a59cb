// The message catalogue: exact GBK bytes, checked against the Chinese text
// through iconv, and the caption and style of every box.
#include <iconv.h>

#include <cstring>

#include "machine.h"

namespace {

std::string GbkToUtf8(const char *gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    EXPECT_NE(cd, (iconv_t)-1) << "no GBK converter";
    std::string in = gbk;
    char out[512] = {};
    char *inp = in.data(), *outp = out;
    size_t inleft = in.size(), outleft = sizeof out - 1;
    size_t result = iconv(cd, &inp, &inleft, &outp, &outleft);
    iconv_close(cd);
    EXPECT_NE(result, (size_t)-1) << "not valid GBK";
    return std::string(out, outp);
}

struct Expected {
    const char *name;
    const char *gbk;
    const char *utf8;
    size_t bytes;
};

}  // namespace

TEST(Catalogue, TextsAreTheExactGbkBytes)
{
    const Expected texts[] = {
        {"MsgCaption", MsgCaption, "系统提示 ", 9},
        {"MsgErrorCaption", MsgErrorCaption, "Error", 5},
        {"MsgZonePolicyFailed", MsgZonePolicyFailed, "修改IE安全选项失败！", 20},
        {"MsgUninstallSucceeded", MsgUninstallSucceeded, "卸载成功！", 10},
        {"MsgUninstallFailed", MsgUninstallFailed, "卸载失败！", 10},
        {"MsgNoRegistryRights", MsgNoRegistryRights, "您没有操作注册表的权限，请切换用户！", 36},
        {"MsgFileInUse", MsgFileInUse, "文件正在被使用，请关闭浏览器后点击“是” 。是否重试？", 53},
    };
    for (const Expected &e : texts) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(std::strlen(e.gbk), e.bytes);
        EXPECT_EQ(GbkToUtf8(e.gbk), e.utf8);
    }
    // The typographic details a retyped text would most likely get wrong.
    EXPECT_NE(std::strstr(MsgFileInUse, "\xa1\xb0\xca\xc7\xa1\xb1\x20\xa1\xa3"), nullptr);
    EXPECT_EQ(MsgCaption[8], ' ');
}

// Every text through the one way the program shows a box: each box looks as
// the user must see it (see ExpectBoxLooks), and the answer comes back.
TEST(Catalogue, EveryBoxLooksAsItShould)
{
    sim::Reset();
    const char *const texts[] = {MsgZonePolicyFailed, MsgUninstallSucceeded, MsgUninstallFailed,
                                 MsgNoRegistryRights, MsgFileInUse,          "any system text"};
    for (const char *text : texts)
        sim::machine().answers.push_back({text == MsgFileInUse ? IDYES : IDOK, {}});
    for (const char *text : texts)
        EXPECT_EQ(ShowMessage(text), text == MsgFileInUse ? IDYES : IDOK);
    EXPECT_EQ(t::Texts(), std::vector<std::string>(std::begin(texts), std::end(texts)));
    t::ExpectSoundRun();
}
