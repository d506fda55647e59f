// CreateLink and ChangeNotify.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "commands/shell_commands.h"
#include "engine/result_codes.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

using engine::CommandChangeNotify;
using engine::CommandCreateLink;

struct LinkProperties {
  bool loaded = false;
  std::string path;
  std::string arguments;
  std::string icon;
  int icon_index = -1;
};

// Reads a .lnk back through the shell's own link object.
LinkProperties LoadLink(const std::string& file) {
  LinkProperties properties;
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(wide, STGM_READ))) {
      char text[MAX_PATH] = {};
      properties.loaded = true;
      link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      properties.path = text;
      text[0] = '\0';
      link->GetArguments(text, MAX_PATH);
      properties.arguments = text;
      text[0] = '\0';
      link->GetIconLocation(text, MAX_PATH, &properties.icon_index);
      properties.icon = text;
    }
    if (persist != nullptr) persist->Release();
    if (link != nullptr) link->Release();
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return properties;
}

class CreateLinkTest : public FileCommandsTest {
 protected:
  void SetUp() override {
    FileCommandsTest::SetUp();
    MakeFolders(Path("Program"));
    target_ = Path("Program\\Tool.exe");
    WriteBytes(target_, "MZ program");
  }
  std::string target_;
};

TEST_F(CreateLinkTest, HttpTargetWritesAnInternetShortcut) {
  const std::string url = "HTTP://www.example.test/help?a=1,b";
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(url) + ", " + Quoted(Path("Site")) + ", args, icon"),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("Site.url")), "[InternetShortcut]\r\nURL=" + url);
  EXPECT_FALSE(Exists(Path("Site.lnk")));
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"Creating link: " + Path("Site")});

  // Replaced, not appended to; and no folder is created on this path.
  EXPECT_EQ(RunHandler(CommandCreateLink, "http://x, " + Quoted(Path("Site"))), engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("Site.url")), "[InternetShortcut]\r\nURL=http://x");
  EXPECT_EQ(RunHandler(CommandCreateLink, "http://x, " + Quoted(Path("NoSuch\\Site"))),
            engine::kResultShortcutFailed);
  EXPECT_FALSE(Exists(Path("NoSuch")));
}

TEST_F(CreateLinkTest, ShellLinkCarriesPathArgumentsAndIcon) {
  const std::string icon = Path("Program\\Icons.dll");
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("Tool")) +
                                              ", \"-start now\", " + Quoted(icon)),
            engine::kResultSuccess);
  const LinkProperties link = LoadLink(Path("Tool.lnk"));
  ASSERT_TRUE(link.loaded);
  EXPECT_EQ(lstrcmpiA(link.path.c_str(), target_.c_str()), 0) << link.path;
  EXPECT_EQ(link.arguments, "-start now");
  EXPECT_EQ(lstrcmpiA(link.icon.c_str(), icon.c_str()), 0) << link.icon;
  EXPECT_EQ(link.icon_index, 0);
  EXPECT_TRUE(ListFolder(temp_folder_).empty());
}

TEST_F(CreateLinkTest, IconDefaultsToTheTargetAndHttpsIsAShellLink) {
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("Plain"))),
            engine::kResultSuccess);
  const LinkProperties plain = LoadLink(Path("Plain.lnk"));
  ASSERT_TRUE(plain.loaded);
  EXPECT_EQ(plain.arguments, "");
  EXPECT_EQ(lstrcmpiA(plain.icon.c_str(), target_.c_str()), 0) << plain.icon;
  EXPECT_EQ(plain.icon_index, 0);

  // An empty icon argument counts as none.
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("Empty")) + ", , "),
            engine::kResultSuccess);
  EXPECT_EQ(lstrcmpiA(LoadLink(Path("Empty.lnk")).icon.c_str(), target_.c_str()), 0);

  EXPECT_EQ(RunHandler(CommandCreateLink, "https://www.example.test, " + Quoted(Path("Secure"))),
            engine::kResultSuccess);
  EXPECT_TRUE(Exists(Path("Secure.lnk")));
  EXPECT_FALSE(Exists(Path("Secure.url")));
  EXPECT_TRUE(ListFolder(temp_folder_).empty());
}

TEST_F(CreateLinkTest, MissingFoldersAreCreatedAndAnOldLinkReplaced) {
  const std::string menu = Path("Start Menu\\Programs\\Product");
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(menu + "\\Tool")),
            engine::kResultSuccess);
  EXPECT_TRUE(LoadLink(menu + "\\Tool.lnk").loaded);

  WriteBytes(Path("Old.lnk"), std::string(5000, 'g'));
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("Old"))),
            engine::kResultSuccess);
  const LinkProperties replaced = LoadLink(Path("Old.lnk"));
  ASSERT_TRUE(replaced.loaded);
  EXPECT_EQ(lstrcmpiA(replaced.path.c_str(), target_.c_str()), 0);
  EXPECT_LT(ReadBytes(Path("Old.lnk")).size(), 5000u);
  EXPECT_TRUE(ListFolder(temp_folder_).empty());
}

TEST_F(CreateLinkTest, FailedLinkLeavesNoTemporaryFile) {
  // The link's folder cannot be made: a file stands in its way.
  WriteBytes(Path("blocker"), "x");
  FakeClock clock;  // folder creation's attempts need no real time
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("blocker\\sub\\Tool"))),
            engine::kResultShortcutFailed);
  EXPECT_TRUE(ListFolder(temp_folder_).empty());
  // The temporary folder itself is missing: nothing can be saved.
  RemoveTree(temp_folder_);
  EXPECT_EQ(RunHandler(CommandCreateLink, Quoted(target_) + ", " + Quoted(Path("Tool"))),
            engine::kResultShortcutFailed);
  EXPECT_FALSE(Exists(Path("Tool.lnk")));
}

TEST_F(CreateLinkTest, ChangeNotifyReportsTheFolder) {
  EXPECT_EQ(RunHandler(CommandChangeNotify, Quoted(Path("Program"))), engine::kResultSuccess);
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"Applying changes: " + Path("Program")});
}

}  // namespace
}  // namespace commands_test
