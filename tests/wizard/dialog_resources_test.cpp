// The built engine's dialog templates, read back from its resources as
// Windows reads them (DLGTEMPLATEEX), against their one definition in
// resources/dialogs.inc: every dialog's style, size, caption and font, and
// every control's id, class, style, position, size and text, in order.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ExpectedControl {
  int id;
  const char* class_name;
  const char* text;
  DWORD style;
  int x, y, width, height;
};

struct ExpectedDialog {
  int id;
  int width, height;
  DWORD style;
  DWORD ex_style;
  const char* caption;
  std::vector<ExpectedControl> controls;
};

#define CLASS_BUTTON "Button"
#define CLASS_EDIT "Edit"
#define CLASS_STATIC "Static"
#define CLASS_PROGRESS "msctls_progress32"
#define DIALOG_FRAME(id, width, height, style, ex_style, caption) \
  {id, width, height, static_cast<DWORD>(style), static_cast<DWORD>(ex_style), caption, {
#define DIALOG_PAGE(id, width, height, style) \
  {id, width, height, static_cast<DWORD>(style), 0, "", {
#define CONTROL_ITEM(id, class, text, style, x, y, width, height) \
  {id, class, text, static_cast<DWORD>((style) | WS_CHILD | WS_VISIBLE), x, y, width, height},
#define DIALOG_END() }},
const ExpectedDialog kDialogs[] = {
#include "resources/dialogs.inc"
};

// A control or dialog as the template stores it.
struct Parsed {
  DWORD style = 0;
  DWORD ex_style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  int id = 0;
  std::string class_name;  // a name, or "#<ordinal>"
  std::string text;
};

struct ParsedDialog {
  Parsed dialog;
  int point_size = 0;
  std::string font;
  std::vector<Parsed> controls;
};

// A bounded little-endian reader of the template.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  uint16_t Word() {
    if (pos_ + 2 > size_) return Fail();
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t low = Word();
    return low | (static_cast<uint32_t>(Word()) << 16);
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  void Byte() {
    if (pos_ + 1 > size_) Fail();
    ++pos_;
  }
  // A zero-terminated UTF-16 text of ASCII characters (the templates hold no
  // other).
  std::string Text() {
    std::string s;
    for (uint16_t c = Word(); ok_ && c != 0; c = Word()) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
  }
  // A name or an ordinal (0xFFFF, then the number).
  std::string NameOrOrdinal() {
    if (pos_ + 2 <= size_ && data_[pos_] == 0xFF && data_[pos_ + 1] == 0xFF) {
      Word();
      return "#" + std::to_string(Word());
    }
    return Text();
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }
  void Skip(size_t n) {
    if (pos_ + n > size_) Fail();
    pos_ += n;
  }

 private:
  uint16_t Fail() {
    ok_ = false;
    pos_ = size_;
    return 0;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

bool ParseTemplate(const uint8_t* data, size_t size, ParsedDialog* out) {
  Reader r(data, size);
  if (r.Word() != 1 || r.Word() != 0xFFFF) return false;  // DLGTEMPLATEEX
  r.Dword();                                              // help id
  out->dialog.ex_style = r.Dword();
  out->dialog.style = r.Dword();
  const int count = r.Word();
  out->dialog.x = r.Short();
  out->dialog.y = r.Short();
  out->dialog.width = r.Short();
  out->dialog.height = r.Short();
  if (!r.NameOrOrdinal().empty()) return false;  // no menu
  out->dialog.class_name = r.NameOrOrdinal();
  out->dialog.text = r.Text();
  if (out->dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
    out->point_size = r.Word();
    r.Word();  // weight
    r.Byte();  // italic
    r.Byte();  // character set
    out->font = r.Text();
  }
  for (int i = 0; i < count && r.ok(); ++i) {
    r.AlignDword();
    Parsed c;
    r.Dword();  // help id
    c.ex_style = r.Dword();
    c.style = r.Dword();
    c.x = r.Short();
    c.y = r.Short();
    c.width = r.Short();
    c.height = r.Short();
    c.id = static_cast<int>(r.Dword());
    c.class_name = r.NameOrOrdinal();
    c.text = r.NameOrOrdinal();
    r.Skip(r.Word());  // creation data
    out->controls.push_back(c);
  }
  return r.ok();
}

std::string ClassName(const std::string& stored) {
  if (stored == "#128") return "Button";
  if (stored == "#129") return "Edit";
  if (stored == "#130") return "Static";
  return stored;
}

bool SameClass(const std::string& stored, const char* expected) {
  return lstrcmpiA(ClassName(stored).c_str(), expected) == 0;
}

TEST(DialogResources, EveryTemplateOfTheBuiltEngineMatchesItsDefinition) {
  HMODULE engine = LoadLibraryExA(ENGINE_EXECUTABLE, nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(engine, nullptr) << ENGINE_EXECUTABLE;
  ASSERT_EQ(sizeof(kDialogs) / sizeof(kDialogs[0]), 9u);
  const int ids[] = {108, 104, 105, 109, 110, 111, 114, 115, 117};
  int checked_controls = 0;
  for (size_t d = 0; d < 9; ++d) {
    const ExpectedDialog& expected = kDialogs[d];
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    EXPECT_EQ(expected.id, ids[d]);
    HRSRC resource = FindResourceA(engine, MAKEINTRESOURCEA(expected.id), MAKEINTRESOURCEA(5));
    ASSERT_NE(resource, nullptr);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(engine, resource)));
    ParsedDialog parsed;
    ASSERT_TRUE(ParseTemplate(data, SizeofResource(engine, resource), &parsed));

    EXPECT_EQ(parsed.dialog.style, expected.style);
    EXPECT_EQ(parsed.dialog.ex_style, expected.ex_style);
    EXPECT_EQ(parsed.dialog.x, 0);
    EXPECT_EQ(parsed.dialog.y, 0);
    EXPECT_EQ(parsed.dialog.width, expected.width);
    EXPECT_EQ(parsed.dialog.height, expected.height);
    EXPECT_EQ(parsed.dialog.class_name, "");
    EXPECT_EQ(parsed.dialog.text, expected.caption);
    EXPECT_EQ(parsed.point_size, 8);
    EXPECT_EQ(parsed.font, "MS Shell Dlg");

    ASSERT_EQ(parsed.controls.size(), expected.controls.size());
    for (size_t i = 0; i < parsed.controls.size(); ++i) {
      const Parsed& c = parsed.controls[i];
      const ExpectedControl& e = expected.controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(e.id));
      EXPECT_EQ(c.id, e.id);
      EXPECT_TRUE(SameClass(c.class_name, e.class_name)) << c.class_name;
      // The predefined classes are stored as ordinals, the short form.
      if (std::string(e.class_name) != CLASS_PROGRESS) {
        EXPECT_EQ(c.class_name[0], '#');
      }
      EXPECT_EQ(c.text, e.text);
      EXPECT_EQ(c.style, e.style) << std::hex << c.style << " != " << e.style;
      EXPECT_EQ(c.ex_style, 0u);
      EXPECT_EQ(c.x, e.x);
      EXPECT_EQ(c.y, e.y);
      EXPECT_EQ(c.width, e.width);
      EXPECT_EQ(c.height, e.height);
      ++checked_controls;
    }
  }
  FreeLibrary(engine);
  EXPECT_GT(checked_controls, 100);
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD size;
  WORD id;
};
#pragma pack(pop)

// Both mode icons hold 48, 32 and 16 pixel images, and each size loads and
// draws (the 48 pixel image is a PNG).
TEST(DialogResources, ModeIconsHoldThreeSizesThatDraw) {
  HMODULE engine = LoadLibraryExA(ENGINE_EXECUTABLE, nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(engine, nullptr);
  for (int group : {101, 102}) {
    SCOPED_TRACE("icon group " + std::to_string(group));
    HRSRC resource = FindResourceA(engine, MAKEINTRESOURCEA(group), MAKEINTRESOURCEA(14));
    ASSERT_NE(resource, nullptr);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(engine, resource)));
    const DWORD size = SizeofResource(engine, resource);
    ASSERT_GE(size, 6u);
    const WORD count = static_cast<WORD>(data[4] | (data[5] << 8));
    ASSERT_EQ(size, 6u + count * sizeof(GroupIconEntry));
    std::vector<int> widths;
    for (WORD i = 0; i < count; ++i) {
      GroupIconEntry entry;
      std::memcpy(&entry, data + 6 + i * sizeof(entry), sizeof(entry));
      widths.push_back(entry.width);
      EXPECT_EQ(entry.width, entry.height);
    }
    EXPECT_EQ(widths, (std::vector<int>{48, 32, 16}));

    for (int pixels : {48, 32, 16}) {
      HICON icon = static_cast<HICON>(
          LoadImageA(engine, MAKEINTRESOURCEA(group), IMAGE_ICON, pixels, pixels, 0));
      ASSERT_NE(icon, nullptr) << pixels;
      ICONINFO info = {};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      BITMAP bitmap = {};
      GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
      EXPECT_EQ(bitmap.bmWidth, pixels);
      if (info.hbmColor) DeleteObject(info.hbmColor);
      if (info.hbmMask) DeleteObject(info.hbmMask);
      // Drawn on white, the icon's centre (the letter's white aside) and its
      // coloured corner area differ from the background.
      HDC screen = GetDC(nullptr);
      HDC dc = CreateCompatibleDC(screen);
      HBITMAP target = CreateCompatibleBitmap(screen, pixels, pixels);
      ReleaseDC(nullptr, screen);
      HGDIOBJ old = SelectObject(dc, target);
      RECT all = {0, 0, pixels, pixels};
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, pixels, pixels, 0, nullptr, DI_NORMAL));
      const COLORREF near_corner = GetPixel(dc, pixels / 6, pixels / 6);
      EXPECT_NE(near_corner, RGB(255, 255, 255)) << pixels;
      // The blue of Setup, the red of Uninstall.
      if (group == 101) {
        EXPECT_GT(GetBValue(near_corner), GetRValue(near_corner)) << pixels;
      } else {
        EXPECT_GT(GetRValue(near_corner), GetBValue(near_corner)) << pixels;
      }
      SelectObject(dc, old);
      DeleteObject(target);
      DeleteDC(dc);
      DestroyIcon(icon);
    }
  }
  FreeLibrary(engine);
}

}  // namespace
