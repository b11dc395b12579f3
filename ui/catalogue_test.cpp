#include "ui/catalogue.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/catalogue_texts_test.h"

namespace tarnwick {
namespace {

std::u16string nameOf(const char16_t* path) {
  char16_t name[kDisplayNameCapacity];
  displayName(path, u"root", name);
  return name;
}

// Formats a catalogue message the way the notices do.
std::u16string formatted(uint32_t id, const FormatArgument* args, size_t count) {
  char16_t buffer[512];
  formatFitting(buffer, 512, expectedCatalogue().at(id).c_str(), args, count);
  return buffer;
}

// Catalogue message `id` with the values of `facts` in the order of the language.
std::u16string blockerText(uint32_t id, const BlockerFacts& facts, bool japanese) {
  FormatArgument arguments[4];
  const size_t count = blockerArguments(facts, japanese, arguments);
  return formatted(id, arguments, count);
}

TEST(Catalogue, LanguageIsChosenByTheExactLanguageId) {
  EXPECT_TRUE(usesJapanese(1041));
  for (uint16_t other : {uint16_t(1033), uint16_t(0x0011), uint16_t(0x0811), uint16_t(0)}) {
    EXPECT_FALSE(usesJapanese(other));
  }
  EXPECT_EQ(messageId(Message::SafeText, true), 1001u);
  EXPECT_EQ(messageId(Message::BlockerTitle, false), 2007u);
  EXPECT_EQ(messageId(Message::ShutdownWarning, true), 1101u);
  EXPECT_EQ(messageId(Message::ShutdownWarning, false), 2101u);
  for (uint32_t m : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 101u}) {
    EXPECT_EQ(expectedCatalogue().count(messageId(Message(m), true)), 1u);
    EXPECT_EQ(expectedCatalogue().count(messageId(Message(m), false)), 1u);
  }
}

TEST(Catalogue, DisplayNameIsTheLastPartOfAPath) {
  EXPECT_EQ(nameOf(u""), u"");
  EXPECT_EQ(nameOf(u"E:\\"), u"root");
  EXPECT_EQ(nameOf(u"E:\\Photos\\"), u"root");  // any path ending in a backslash
  EXPECT_EQ(nameOf(u"E:\\Photos\\2007"), u"2007");
  EXPECT_EQ(nameOf(u"C:\\Tools\\edit.exe"), u"edit.exe");
  EXPECT_EQ(nameOf(u"edit.exe"), u"edit.exe");
  const std::u16string name89(89, u'a'), name90(90, u'b'), name100(100, u'c');
  EXPECT_EQ(nameOf((u"C:\\x\\" + name89).c_str()), name89);
  EXPECT_EQ(nameOf((u"C:\\x\\" + name90).c_str()), name90 + u"...");
  const std::u16string cut = nameOf((u"C:\\x\\" + name100).c_str());
  EXPECT_EQ(cut, std::u16string(90, u'c') + u"...");
  EXPECT_EQ(nameOf(cut.c_str()), cut);  // the rule applied twice changes nothing
  const std::u16string huge(5000, u'z');
  EXPECT_EQ(nameOf(huge.c_str()).size(), 93u);
}

TEST(Catalogue, BlockerMessagesTakeTheirValuesInEachLanguagesOrder) {
  BlockerFacts running;
  running.driveLetter = u'E';
  running.holderPid = 1234;
  running.imageName = u"edit.exe";
  running.openName = u"";
  running.runsFromDrive = true;
  BlockerFacts holding = running;
  holding.runsFromDrive = false;
  holding.openName = u"notes.txt";

  EXPECT_EQ(blockerMessage(running, false), Message::BlockerRunning);
  EXPECT_EQ(blockerMessage(running, true), Message::PromptRunning);
  EXPECT_EQ(blockerMessage(holding, false), Message::BlockerHolding);
  EXPECT_EQ(blockerMessage(holding, true), Message::PromptHolding);

  EXPECT_EQ(blockerText(2002, running, false),
            u"'edit.exe' in E: drive is running now. (PID=1234)\nPlease exit the application.");
  EXPECT_EQ(blockerText(2004, running, false),
            u"'edit.exe' in E: drive is running now. (PID=1234)\nDo you exit the application?\n"
            u"Note that the unsaved data will be lost.");
  EXPECT_EQ(
      blockerText(1002, running, true),
      u"E: ドライブの 'edit.exe' (PID=1234) が実行中です。\nアプリケーションを終了してください。");
  EXPECT_EQ(
      blockerText(1004, running, true),
      u"E: ドライブの 'edit.exe' (PID=1234) が実行中です。\nアプリケーションを強制終了しますか?\n"
      u"強制終了した場合、編集中のデータは保存されずに消滅します。");

  // English names the open item first, Japanese the process.
  EXPECT_EQ(blockerText(2003, holding, false),
            u"'notes.txt' in E: drive is opened by 'edit.exe'. (PID=1234)\nPlease close the folder "
            u"or the file.");
  EXPECT_EQ(
      blockerText(2005, holding, false),
      u"'notes.txt' in E: drive is opened by 'edit.exe'. (PID=1234)\nDo you exit the application?\n"
      u"Note that the unsaved data will be lost.");
  EXPECT_EQ(blockerText(1003, holding, true),
            u"'edit.exe' (PID=1234) が E: ドライブの 'notes.txt' "
            u"を開いています。\nファイル又はフォルダを閉じてください。");
  EXPECT_EQ(blockerText(1005, holding, true),
            u"'edit.exe' (PID=1234) が E: ドライブの 'notes.txt' "
            u"を開いています。\nアプリケーションを強制終了しますか?\n"
            u"強制終了した場合、編集中のデータは保存されずに消滅します。");

  // A process id above the signed range prints as the system formatter does.
  holding.holderPid = 0xFFFFFFFEu;
  EXPECT_NE(blockerText(2003, holding, false).find(u"(PID=-2)"), std::u16string::npos);

  const FormatArgument description[] = {FormatArgument::ofText(u"USB Mass Storage Device")};
  EXPECT_EQ(formatted(2001, description, 1),
            u"The 'USB Mass Storage Device' device can now be safely removed from the computer.");
  EXPECT_EQ(formatted(1001, description, 1),
            u"'USB Mass Storage Device' は安全に取り外すことができますよ。");
}

}  // namespace
}  // namespace tarnwick
