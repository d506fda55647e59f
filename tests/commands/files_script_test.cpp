// The file and shell commands as the interpreter runs them: argument counts,
// the command table, and acting as the desktop user.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "commands/command_table.h"
#include "commands/file_commands.h"
#include "commands/shell_commands.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

class CommandScriptTest : public FileCommandsTest {
 protected:
  void TearDown() override {
    for (int k = 0; k < engine::kKeywordCount; ++k) engine::SetCommandHandler(k, nullptr);
    FileCommandsTest::TearDown();
  }

  void LoadScript(const std::string& script) {
    char* text = static_cast<char*>(malloc(script.size() + 1));
    ASSERT_NE(text, nullptr);
    memcpy(text, script.c_str(), script.size() + 1);
    engine::Run().script_text = text;
  }
};

TEST_F(CommandScriptTest, MissingArgumentsGive3BeforeAnythingElse) {
  struct Case {
    const char* label;
    engine::CommandHandler handler;
    const char* args;
  };
  const Case cases[] = {
      {"CreateDir", engine::CommandCreateDir, ""},
      {"CopyFile none", engine::CommandCopyFile, "  "},
      {"CopyFile one", engine::CommandCopyFile, "App.dll"},
      {"DeleteFile", engine::CommandDeleteFile, ""},
      {"RemoveDir", engine::CommandRemoveDir, "\t"},
      {"PatchFile two", engine::CommandPatchFile, "Tool.exe, Fix.pat"},
      {"CreateLink one", engine::CommandCreateLink, "http://x"},
      {"ChangeNotify", engine::CommandChangeNotify, ""},
  };
  FakeClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(RunHandler(c.handler, c.args), engine::kResultMissingArguments);
  }
  EXPECT_TRUE(window_.statuses.empty());
  EXPECT_TRUE(clock.pauses.empty());
  EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{"tmp"});
}

TEST_F(CommandScriptTest, ScriptRunsTheCommandsThroughTheTable) {
  engine::RegisterEngineCommands();
  engine::SetVariable("#DIR#", folder_.c_str());
  MakeFolders(Path("Empty"));
  LoadScript(
      "PhaseBegin 1\r\n"
      "  CreateDir #DIR#\\Program\r\n"
      "  copyfile App.dll, #DIR#\\Program\r\n"
      "  PatchFile Tool.exe, Fix.pat, #DIR#\\Program\r\n"
      "  CreateLink #DIR#\\Program\\Fix.exe, #DIR#\\Menu\\Fix\r\n"
      "  DeleteFile #DIR#\\Program\\*.exe\r\n"
      "  RemoveDir #DIR#\\Empty\r\n"
      "  ChangeNotify #DIR#\\Menu\r\n"
      "PhaseEnd\r\n");
  engine::StartPhase(1, false);
  EXPECT_EQ(engine::ErrorState(), engine::kResultSuccess);
  EXPECT_EQ(window_.failures, 0);
  EXPECT_EQ(ListFolder(Path("Program")), std::vector<std::string>{"App.dll"});
  EXPECT_TRUE(Exists(Path("Menu\\Fix.lnk")));
  EXPECT_FALSE(Exists(Path("Empty")));
  EXPECT_EQ(window_.statuses,
            (std::vector<std::string>{
                "Creating folder: " + Path("Program"),
                "Copying file: " + Path("Program\\App.dll"),
                "Patching file: Tool.exe",
                "Creating link: " + Path("Menu\\Fix"),
                "Deleting file: " + Path("Program\\Fix.exe"),
                "Removing directory: " + Path("Empty"),
                "Applying changes: " + Path("Menu"),
            }));
}

// True when the calling thread is impersonating someone.
bool ThreadHasToken() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

// A top-level window of the desktop shell's class, owned by this process: the
// desktop user is then this process's own user.
class FakeDesktopShell {
 public:
  FakeDesktopShell() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "Progman";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "Progman", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  }
  ~FakeDesktopShell() {
    if (window_ != nullptr) DestroyWindow(window_);
    UnregisterClassA("Progman", GetModuleHandleA(nullptr));
  }
  bool created() const { return window_ != nullptr; }

 private:
  HWND window_;
};

TEST_F(CommandScriptTest, RealUserActsAsTheDesktopUserOnlyDuringTheCommand) {
  FakeDesktopShell shell;
  ASSERT_TRUE(shell.created());
  std::vector<bool> during;
  window_.on_status = [&during] { during.push_back(ThreadHasToken()); };
  const std::string destination = Quoted(Path("copy.dll"));

  engine::SetVariable("#REALUSER#", "1");
  // CopyFile begins before its status text, so the text is sent as the user.
  EXPECT_EQ(RunHandler(engine::CommandCopyFile, "App.dll, " + destination), engine::kResultSuccess);
  EXPECT_FALSE(ThreadHasToken());
  // Also ended on a failure.
  EXPECT_EQ(RunHandler(engine::CommandCopyFile, "Missing.dll, " + destination),
            engine::kResultPayloadMissing);
  EXPECT_FALSE(ThreadHasToken());
  EXPECT_EQ(RunHandler(engine::CommandDeleteFile, destination), engine::kResultSuccess);
  EXPECT_FALSE(ThreadHasToken());
  EXPECT_EQ(during, (std::vector<bool>{true, true, true}));

  engine::SetVariable("#REALUSER#", "0");
  during.clear();
  EXPECT_EQ(RunHandler(engine::CommandCopyFile, "App.dll, " + destination), engine::kResultSuccess);
  EXPECT_EQ(during, std::vector<bool>{false});
}

TEST_F(CommandScriptTest, RealUserWithoutADesktopShellUsesTheEnginesOwnRights) {
  engine::SetVariable("#REALUSER#", "1");
  EXPECT_EQ(RunHandler(engine::CommandCreateDir, Quoted(Path("mine"))), engine::kResultSuccess);
  EXPECT_TRUE(IsDirectory(Path("mine")));
  EXPECT_EQ(RunHandler(engine::CommandCreateLink, "http://x, " + Quoted(Path("mine\\Site"))),
            engine::kResultSuccess);
  EXPECT_TRUE(Exists(Path("mine\\Site.url")));
  EXPECT_FALSE(ThreadHasToken());
}

}  // namespace
}  // namespace commands_test
