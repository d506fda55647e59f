#include "tests/support/engine_runner.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/time_scale.h"

namespace test_support {

namespace {

struct BoxSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->process_id || !IsWindowVisible(window)) return TRUE;
  char class_name[64] = {};
  GetClassNameA(window, class_name, sizeof(class_name));
  if (std::string(class_name) != "#32770") return TRUE;
  // A message box keeps its text in the static 0xFFFF; the wizard's frame,
  // a dialog as well, has no such control.
  if (GetDlgItem(window, 0xFFFF) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM parameter) {
  char class_name[64] = {};
  GetClassNameA(child, class_name, sizeof(class_name));
  if (lstrcmpiA(class_name, "Button") == 0) {
    reinterpret_cast<std::vector<int>*>(parameter)->push_back(GetDlgCtrlID(child));
  }
  return TRUE;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

// Records and answers one message box. A message box keeps its text in the
// static control 0xFFFF; unused buttons are destroyed, not hidden.
void AnswerBox(HANDLE process, HWND box, int reply, std::vector<SeenMessageBox>* boxes) {
  SeenMessageBox seen;
  seen.caption = WindowText(box);
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  seen.text = text;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&seen.buttons));
  int button = reply;
  if (!GetDlgItem(box, button) && !seen.buttons.empty()) button = seen.buttons.front();
  boxes->push_back(seen);
  // Post the click, then wait until the box is gone: a box still on the
  // screen at the next look would be counted twice (seen under emulation,
  // where the box's thread takes the click seconds later).
  PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box) &&
         WaitForSingleObject(process, 20) == WAIT_TIMEOUT &&
         GetTickCount() - start < ScaledMs(5000)) {
  }
}

}  // namespace

RunResult RunProgram(const std::string& command_line, const std::string& working_folder,
                     DWORD timeout_ms, int box_reply) {
  RunResult result;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string line = command_line;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      working_folder.empty() ? nullptr : working_folder.c_str(), &startup,
                      &process)) {
    result.start_error = GetLastError();
    return result;
  }
  result.started = true;
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD wait = WaitForSingleObject(process.hProcess, 50);
    if (wait == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > ScaledMs(timeout_ms)) {
      result.timed_out = true;
      TerminateProcess(process.hProcess, 259);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    BoxSearch search = {process.dwProcessId, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) AnswerBox(process.hProcess, search.found, box_reply, &result.boxes);
  }
  GetExitCodeProcess(process.hProcess, &result.exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

std::string MakeTestFolder(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "engine-tests\\" + name;
  RemoveTree(folder);
  CreateDirectoryA((std::string(temp) + "engine-tests").c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

std::string ExecutableFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool Is64BitWindows() {
  BOOL wow64 = FALSE;
  return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

}  // namespace test_support
