// The resource script is compiled into this test executable as into
// Tarnwick.exe: every resource is loaded back through the calls the program
// uses and compared with what the program relies on.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "resources/resource_ids.h"

namespace {

static_assert(IDS_SAFE_TEXT_EN - IDS_SAFE_TEXT_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_RUNNING_TEXT_EN - IDS_RUNNING_TEXT_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_OPEN_TEXT_EN - IDS_OPEN_TEXT_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_RUNNING_PROMPT_EN - IDS_RUNNING_PROMPT_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_OPEN_PROMPT_EN - IDS_OPEN_PROMPT_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_SAFE_TITLE_EN - IDS_SAFE_TITLE_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_BLOCKER_TITLE_EN - IDS_BLOCKER_TITLE_JA == TARNWICK_ENGLISH_ID_OFFSET, "");
static_assert(IDS_SHUTDOWN_WARNING_EN - IDS_SHUTDOWN_WARNING_JA == TARNWICK_ENGLISH_ID_OFFSET, "");

HMODULE self() { return ::GetModuleHandleW(nullptr); }

std::u16string loadString(HMODULE module, UINT id, int bufferUnits) {
  std::u16string buffer(static_cast<size_t>(bufferUnits), u'\0');
  int n = ::LoadStringW(module, id, reinterpret_cast<wchar_t*>(&buffer[0]), bufferUnits);
  buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buffer;
}

// The buffer sizes are those the program loads each text into, so a text
// that would be cut short there fails here.
struct CatalogueEntry {
  UINT id;
  int bufferUnits;
  const char16_t* text;
};

const CatalogueEntry kCatalogue[] = {
    {IDS_CAPTION, 64, u"Tarnwick"},
    {IDS_ROOT_NAME, 16, u"root"},
    {IDS_SAFE_TEXT_JA, 128, u"'%s' は安全に取り外すことができますよ。"},
    {IDS_SAFE_TEXT_EN, 128, u"The '%s' device can now be safely removed from the computer."},
    {IDS_RUNNING_TEXT_JA, 128,
     u"%c: ドライブの '%s' (PID=%d) が実行中です。\nアプリケーションを終了してください。"},
    {IDS_RUNNING_TEXT_EN, 128,
     u"'%s' in %c: drive is running now. (PID=%d)\nPlease exit the application."},
    {IDS_OPEN_TEXT_JA, 128,
     u"'%s' (PID=%d) が %c: ドライブの '%s' を開いています。\n"
     u"ファイル又はフォルダを閉じてください。"},
    {IDS_OPEN_TEXT_EN, 128,
     u"'%s' in %c: drive is opened by '%s'. (PID=%d)\nPlease close the folder or the file."},
    {IDS_RUNNING_PROMPT_JA, 128,
     u"%c: ドライブの '%s' (PID=%d) が実行中です。\nアプリケーションを強制終了しますか?\n"
     u"強制終了した場合、編集中のデータは保存されずに消滅します。"},
    {IDS_RUNNING_PROMPT_EN, 128,
     u"'%s' in %c: drive is running now. (PID=%d)\nDo you exit the application?\n"
     u"Note that the unsaved data will be lost."},
    {IDS_OPEN_PROMPT_JA, 128,
     u"'%s' (PID=%d) が %c: ドライブの '%s' を開いています。\nアプリケーションを強制終了しますか?\n"
     u"強制終了した場合、編集中のデータは保存されずに消滅します。"},
    {IDS_OPEN_PROMPT_EN, 128,
     u"'%s' in %c: drive is opened by '%s'. (PID=%d)\nDo you exit the application?\n"
     u"Note that the unsaved data will be lost."},
    {IDS_SAFE_TITLE_JA, 64, u"ハードウェアの取り外し"},
    {IDS_SAFE_TITLE_EN, 64, u"Safe To Remove Hardware"},
    {IDS_BLOCKER_TITLE_JA, 64, u"エラーが発生したため、ハードウェアは取り外しできません"},
    {IDS_BLOCKER_TITLE_EN, 64, u"Problem Removing Hardware"},
    {IDS_SHUTDOWN_WARNING_JA, 256,
     u"ログオフやシャットダウンの前にTarnwickを必ず終了してください。"},
    {IDS_SHUTDOWN_WARNING_EN, 256, u"Please exit Tarnwick before the shutdown."},
};

TEST(MessageCatalogue, EveryTextLoadsWhole) {
  for (const CatalogueEntry& entry : kCatalogue) {
    SCOPED_TRACE(entry.id);
    std::u16string expected(entry.text);
    ASSERT_LT(expected.size(), static_cast<size_t>(entry.bufferUnits));
    EXPECT_EQ(loadString(self(), entry.id, entry.bufferUnits), expected);
  }
}

TEST(MessageCatalogue, JapaneseTextsAreNotMangled) {
  // One text checked unit by unit, so that a wrong source code page (which
  // would turn each character into two or three units) shows plainly.
  std::u16string title = loadString(self(), IDS_SAFE_TITLE_JA, 64);
  ASSERT_EQ(title.size(), 11u);
  EXPECT_EQ(title[0], 0x30CF);   // ハ
  EXPECT_EQ(title[1], 0x30FC);   // ー
  EXPECT_EQ(title[10], 0x3057);  // し
}

// Icon group directory as stored in the resource (GRPICONDIR and its entries).
#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colourCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved, type, count;
};
#pragma pack(pop)

std::pair<const BYTE*, DWORD> resourceBytes(HMODULE module, const wchar_t* name,
                                            const wchar_t* type) {
  HRSRC found = ::FindResourceW(module, name, type);
  if (!found) return {nullptr, 0};
  HGLOBAL loaded = ::LoadResource(module, found);
  return {static_cast<const BYTE*>(::LockResource(loaded)), ::SizeofResource(module, found)};
}

TEST(Icon, GroupHoldsEverySizeWithTheLargestCompressed) {
  auto group = resourceBytes(self(), MAKEINTRESOURCEW(IDI_TARNWICK), RT_GROUP_ICON);
  ASSERT_NE(group.first, nullptr);
  GroupIconHeader header;
  std::memcpy(&header, group.first, sizeof header);
  ASSERT_EQ(group.second, sizeof header + header.count * sizeof(GroupIconEntry));

  std::set<std::pair<int, int>> sizes;  // (pixels, bits per pixel)
  for (WORD i = 0; i < header.count; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, group.first + sizeof header + i * sizeof entry, sizeof entry);
    int pixels = entry.width == 0 ? 256 : entry.width;
    sizes.insert({pixels, entry.bitCount});
    auto image = resourceBytes(self(), MAKEINTRESOURCEW(entry.id), RT_ICON);
    ASSERT_NE(image.first, nullptr) << pixels;
    ASSERT_EQ(image.second, entry.bytesInRes);
    if (pixels == 256) {
      // Stored as PNG; an uncompressed 256-pixel image alone would be 260 KiB.
      EXPECT_EQ(std::memcmp(image.first, "\x89PNG", 4), 0);
      EXPECT_LT(image.second, 16u * 1024u);
    }
  }
  std::set<std::pair<int, int>> expected = {{16, 8},  {16, 32}, {32, 8},
                                            {32, 32}, {48, 32}, {256, 32}};
  EXPECT_EQ(sizes, expected);
}

TEST(Icon, LoadsAtEachSize) {
  for (int size : {16, 32, 48, 256}) {
    SCOPED_TRACE(size);
    HICON icon = static_cast<HICON>(::LoadImageW(self(), MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON,
                                                 size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
}

class NoSign : public ::testing::Test {
 protected:
  void SetUp() override {
    // The flags the banner loads the sign with.
    bitmap_ = static_cast<HBITMAP>(::LoadImageW(self(), MAKEINTRESOURCEW(IDB_NO_SIGN), IMAGE_BITMAP,
                                                0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
    ASSERT_NE(bitmap_, nullptr);
    ASSERT_EQ(::GetObjectW(bitmap_, sizeof section_, &section_), static_cast<int>(sizeof section_));
  }
  void TearDown() override {
    if (bitmap_) ::DeleteObject(bitmap_);
  }

  // Blue, green, red, alpha of the pixel at column x, row y counted from the top.
  const BYTE* pixel(int x, int y) const {
    const BITMAP& bm = section_.dsBm;
    int row = section_.dsBmih.biHeight > 0 ? bm.bmHeight - 1 - y : y;
    return static_cast<const BYTE*>(bm.bmBits) + row * bm.bmWidthBytes + x * 4;
  }

  HBITMAP bitmap_ = nullptr;
  DIBSECTION section_{};
};

TEST_F(NoSign, IsA32BitSectionOf18By18) {
  EXPECT_EQ(section_.dsBm.bmWidth, 18);
  EXPECT_EQ(section_.dsBm.bmHeight, 18);
  EXPECT_EQ(section_.dsBm.bmBitsPixel, 32);
  ASSERT_NE(section_.dsBm.bmBits, nullptr);
}

TEST_F(NoSign, IsPremultipliedWhiteWithSoftEdges) {
  int partial = 0;
  for (int y = 0; y < 18; ++y) {
    for (int x = 0; x < 18; ++x) {
      const BYTE* p = pixel(x, y);
      ASSERT_TRUE(p[0] == p[3] && p[1] == p[3] && p[2] == p[3]) << x << "," << y;
      if (p[3] != 0 && p[3] != 255) ++partial;
    }
  }
  EXPECT_GT(partial, 20);
}

TEST_F(NoSign, RingAndBarFromUpperLeftToLowerRight) {
  for (auto corner : {std::make_pair(0, 0), std::make_pair(17, 0), std::make_pair(0, 17),
                      std::make_pair(17, 17)}) {
    EXPECT_EQ(pixel(corner.first, corner.second)[3], 0);
  }
  EXPECT_EQ(pixel(1, 8)[3], 255);    // ring, left
  EXPECT_EQ(pixel(16, 9)[3], 255);   // ring, right
  EXPECT_EQ(pixel(9, 1)[3], 255);    // ring, top
  EXPECT_EQ(pixel(4, 4)[3], 255);    // bar, upper left
  EXPECT_EQ(pixel(8, 8)[3], 255);    // bar, centre
  EXPECT_EQ(pixel(13, 13)[3], 255);  // bar, lower right
  EXPECT_EQ(pixel(13, 4)[3], 0);     // inside the ring, off the bar
  EXPECT_EQ(pixel(4, 13)[3], 0);
}

TEST(Manifest, RequestsCommonControls6) {
  auto manifest = resourceBytes(self(), MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest.first, nullptr);
  std::string text(reinterpret_cast<const char*>(manifest.first), manifest.second);
  size_t dependency = text.find("name=\"Microsoft.Windows.Common-Controls\"");
  ASSERT_NE(dependency, std::string::npos);
  EXPECT_NE(text.find("version=\"6.0.0.0\"", dependency), std::string::npos);
}

std::wstring versionString(const std::string& block, const wchar_t* name) {
  std::wstring path = L"\\StringFileInfo\\040904B0\\";
  path += name;
  void* value = nullptr;
  UINT units = 0;
  if (!::VerQueryValueW(block.data(), path.c_str(), &value, &units) || units == 0) return L"";
  return static_cast<const wchar_t*>(value);
}

TEST(VersionInfo, NamesTheProductInEnglish) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(self(), path, MAX_PATH), 0u);
  DWORD size = ::GetFileVersionInfoSizeW(path, nullptr);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, &block[0]));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  DWORD* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(LOWORD(*translation), 0x0409);
  EXPECT_EQ(HIWORD(*translation), 1200);

  EXPECT_EQ(versionString(block, L"ProductName"), L"Tarnwick");
  EXPECT_EQ(versionString(block, L"FileVersion"), L"1.0.0.0");
  EXPECT_EQ(versionString(block, L"ProductVersion"), L"1.0.0.0");
  EXPECT_FALSE(versionString(block, L"FileDescription").empty());
}

// The program itself is built next to the tests from the same script.
TEST(Program, CarriesTheSameResources) {
  wchar_t path[MAX_PATH];
  DWORD n = ::GetModuleFileNameW(self(), path, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::wstring exe(path, n);
  exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Tarnwick.exe";
  HMODULE program = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << "Tarnwick.exe is built beside the tests";
  EXPECT_EQ(loadString(program, IDS_SHUTDOWN_WARNING_JA, 256),
            u"ログオフやシャットダウンの前にTarnwickを必ず終了してください。");
  EXPECT_NE(resourceBytes(program, MAKEINTRESOURCEW(IDI_TARNWICK), RT_GROUP_ICON).first, nullptr);
  EXPECT_NE(resourceBytes(program, MAKEINTRESOURCEW(IDB_NO_SIGN), RT_BITMAP).first, nullptr);
  EXPECT_NE(resourceBytes(program, MAKEINTRESOURCEW(1), RT_MANIFEST).first, nullptr);
  EXPECT_NE(resourceBytes(program, MAKEINTRESOURCEW(1), RT_VERSION).first, nullptr);
  ::FreeLibrary(program);
}

}  // namespace
