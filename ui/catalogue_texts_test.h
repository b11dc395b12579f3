// The program's string table as the tests expect it, in both languages: the
// fake platforms of the host tests load from it, and the Windows tests check
// the real string table against it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tarnwick {

inline const std::map<uint32_t, std::u16string>& expectedCatalogue() {
  static const std::map<uint32_t, std::u16string> texts = {
      {501, u"Tarnwick"},
      {502, u"root"},
      {1001, u"'%s' は安全に取り外すことができますよ。"},
      {2001, u"The '%s' device can now be safely removed from the computer."},
      {1002, u"%c: ドライブの '%s' (PID=%d) が実行中です。\nアプリケーションを終了してください。"},
      {2002, u"'%s' in %c: drive is running now. (PID=%d)\nPlease exit the application."},
      {1003,
       u"'%s' (PID=%d) が %c: ドライブの '%s' "
       u"を開いています。\nファイル又はフォルダを閉じてください。"},
      {2003,
       u"'%s' in %c: drive is opened by '%s'. (PID=%d)\nPlease close the folder or the file."},
      {1004,
       u"%c: ドライブの '%s' (PID=%d) が実行中です。\nアプリケーションを強制終了しますか?\n"
       u"強制終了した場合、編集中のデータは保存されずに消滅します。"},
      {2004,
       u"'%s' in %c: drive is running now. (PID=%d)\nDo you exit the application?\n"
       u"Note that the unsaved data will be lost."},
      {1005,
       u"'%s' (PID=%d) が %c: ドライブの '%s' "
       u"を開いています。\nアプリケーションを強制終了しますか?\n"
       u"強制終了した場合、編集中のデータは保存されずに消滅します。"},
      {2005,
       u"'%s' in %c: drive is opened by '%s'. (PID=%d)\nDo you exit the application?\n"
       u"Note that the unsaved data will be lost."},
      {1006, u"ハードウェアの取り外し"},
      {2006, u"Safe To Remove Hardware"},
      {1007, u"エラーが発生したため、ハードウェアは取り外しできません"},
      {2007, u"Problem Removing Hardware"},
      {1101, u"ログオフやシャットダウンの前にTarnwickを必ず終了してください。"},
      {2101, u"Please exit Tarnwick before the shutdown."},
  };
  return texts;
}

}  // namespace tarnwick
