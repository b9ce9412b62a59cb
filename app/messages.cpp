// The message catalogue and the one place that shows its boxes.
#include "app/messages.h"

// 系统提示 (and one blank)
const char MsgCaption[] = "\xcf\xb5\xcd\xb3\xcc\xe1\xca\xbe\x20";
const char MsgErrorCaption[] = "Error";
// 修改IE安全选项失败！
const char MsgZonePolicyFailed[] =
    "\xd0\xde\xb8\xc4" "IE" "\xb0\xb2\xc8\xab\xd1\xa1\xcf\xee\xca\xa7\xb0\xdc\xa3\xa1";
// 卸载成功！
const char MsgUninstallSucceeded[] = "\xd0\xb6\xd4\xd8\xb3\xc9\xb9\xa6\xa3\xa1";
// 卸载失败！
const char MsgUninstallFailed[] = "\xd0\xb6\xd4\xd8\xca\xa7\xb0\xdc\xa3\xa1";
// 您没有操作注册表的权限，请切换用户！
const char MsgNoRegistryRights[] =
    "\xc4\xfa\xc3\xbb\xd3\xd0\xb2\xd9\xd7\xf7\xd7\xa2\xb2\xe1\xb1\xed\xb5\xc4\xc8\xa8"
    "\xcf\xde\xa3\xac\xc7\xeb\xc7\xd0\xbb\xbb\xd3\xc3\xbb\xa7\xa3\xa1";
// 文件正在被使用，请关闭浏览器后点击“是” 。是否重试？
const char MsgFileInUse[] =
    "\xce\xc4\xbc\xfe\xd5\xfd\xd4\xda\xb1\xbb\xca\xb9\xd3\xc3\xa3\xac\xc7\xeb\xb9\xd8"
    "\xb1\xd5\xe4\xaf\xc0\xc0\xc6\xf7\xba\xf3\xb5\xe3\xbb\xf7\xa1\xb0\xca\xc7\xa1\xb1"
    "\x20\xa1\xa3\xca\xc7\xb7\xf1\xd6\xd8\xca\xd4\xa3\xbf";

const CatalogueEntry MessageCatalogue[] = {
    // text                  caption          style
    {MsgZonePolicyFailed,    MsgCaption,      MB_OK},
    {MsgUninstallSucceeded,  MsgCaption,      MB_OK},
    {MsgUninstallFailed,     MsgCaption,      MB_OK},
    {MsgNoRegistryRights,    MsgCaption,      MB_OK},
    {MsgFileInUse,           MsgCaption,      MB_YESNO | MB_ICONQUESTION},
    {nullptr,                MsgErrorCaption, MB_ICONINFORMATION},
};
const int MessageCatalogueSize = sizeof MessageCatalogue / sizeof MessageCatalogue[0];

int ShowMessage(const char *text)
{
    const CatalogueEntry *entry = &MessageCatalogue[MessageCatalogueSize - 1];
    for (int i = 0; i < MessageCatalogueSize - 1; i++)
        if (MessageCatalogue[i].text == text)
            entry = &MessageCatalogue[i];
    return MessageBoxA(nullptr, text, entry->caption, entry->style);
}
