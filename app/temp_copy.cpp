#include "app/temp_copy.h"

#include "base/text.h"

namespace tarnwick {
namespace {

bool appendOption(char16_t (&line)[kCommandLineUnits], int32_t given, char16_t letter) {
  if (!given) return true;
  const char16_t option[] = {u' ', u'/', letter, 0};
  return appendText(line, option);
}

char16_t foldAscii(char16_t unit) { return upperAscii(unit); }

// ".\<name>" when `path` names a file directly inside `folder` (which ends
// with a backslash); folder names are compared without regard to ASCII case.
bool relativeToFolder(const char16_t* path, const char16_t* folder,
                      char16_t (&relative)[kPathUnits]) {
  const size_t n = textLength(folder);
  if (n == 0 || folder[n - 1] != u'\\') return false;
  for (size_t i = 0; i < n; ++i) {
    if (path[i] == 0 || foldAscii(path[i]) != foldAscii(folder[i])) return false;
  }
  const char16_t* name = path + n;
  if (name[0] == 0) return false;
  for (const char16_t* p = name; *p != 0; ++p) {
    if (*p == u'\\' || *p == u'/') return false;
  }
  return copyText(relative, u".\\") && appendText(relative, name);
}

// Appends `text` with every '%' doubled: inside a batch file "%%" stands for
// one literal '%', while a single one starts a variable reference.
bool appendBatchLiteral(char16_t (&out)[kBatchPathUnits], const char16_t* text) {
  for (; *text != 0; ++text) {
    if (*text == u'%' && !appendUnit(out, u'%')) return false;
    if (!appendUnit(out, *text)) return false;
  }
  return true;
}

// Characters that the interpreter's own command line reads as operators or
// variable references, even inside quotes.
bool misreadOnCommandLine(const char16_t* text) {
  for (; *text != 0; ++text) {
    switch (*text) {
      case u'&':
      case u'^':
      case u'(':
      case u')':
      case u';':
      case u',':
      case u'=':
      case u'%': return true;
      default: break;
    }
  }
  return false;
}

}  // namespace

bool buildRelaunchCommandLine(const char16_t* tempExePath, char16_t driveLetter,
                              const LaunchOptions& options,
                              char16_t (&commandLine)[kCommandLineUnits]) {
  const char16_t drive[] = {driveLetter, u':', 0};
  bool ok = copyText(commandLine, u"\"") && appendText(commandLine, tempExePath) &&
            appendText(commandLine, u"\" ") && appendText(commandLine, drive) &&
            appendOption(commandLine, options.givenD, u'd') &&
            appendOption(commandLine, options.givenC, u'c') &&
            appendOption(commandLine, options.givenS, u's') &&
            appendOption(commandLine, options.givenL, u'l') &&
            appendOption(commandLine, options.givenK, u'k') &&
            appendOption(commandLine, options.givenX, u'x') &&
            appendText(commandLine, u" --delete-executable");
  if (!ok) commandLine[0] = 0;
  return ok;
}

bool makeUniqueTempName(const char16_t* tempDir, const char16_t* prefix, const char16_t* extension,
                        char16_t (&path)[kPathUnits], TempNameFiles& files) {
  path[0] = 0;
  if (tempDir == nullptr || tempDir[0] == 0) return false;
  uint32_t number = 0;  // the system picks the first one
  for (uint32_t attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
    const uint32_t used = files.formName(tempDir, prefix, number, path);
    const size_t length = textLength(path);
    if (used == 0 || length < 4) break;  // no name at all: the folder is missing or unusable
    path[length - 4] = 0;                // the ".tmp" that the system appended
    if (!appendText(path, extension)) break;
    if (files.createExclusive(path)) return true;
    // Numbers are 16 bits wide, and 0 would mean "let the system choose".
    number = (used + 1) & 0xFFFFu;
    if (number == 0) number = 1;
  }
  path[0] = 0;
  return false;
}

bool batchPathForm(const char16_t* path, const char16_t* tempDir, BatchCodePage& codePage,
                   char16_t (&form)[kBatchPathUnits]) {
  form[0] = 0;
  const char16_t* chosen = path;
  char16_t relative[kPathUnits] = {};
  char16_t shortForm[kPathUnits] = {};
  if (!codePage.carries(path)) {
    if (relativeToFolder(path, tempDir, relative) && codePage.carries(relative)) {
      chosen = relative;
    } else if (codePage.shortPath(path, shortForm) && codePage.carries(shortForm)) {
      chosen = shortForm;
    }
  }
  if (!appendBatchLiteral(form, chosen)) {
    form[0] = 0;
    return false;
  }
  return true;
}

bool buildCleanupBatch(const char16_t* modulePath, const char16_t* batchPath,
                       const char16_t* tempDir, uint32_t processId, BatchCodePage& codePage,
                       CleanupBatch& batch) {
  for (auto& line : batch.lines) line[0] = 0;
  char16_t module[kBatchPathUnits];
  char16_t self[kBatchPathUnits];
  if (!batchPathForm(modulePath, tempDir, codePage, module) ||
      !batchPathForm(batchPath, tempDir, codePage, self)) {
    return false;
  }
  auto& waiter = batch.lines[0];
  auto& deleteModule = batch.lines[1];
  auto& deleteSelf = batch.lines[2];
  return copyText(waiter, u"\"") && appendText(waiter, module) && appendText(waiter, u"\" -p") &&
         appendDecimal(waiter, processId) && copyText(deleteModule, u"DEL \"") &&
         appendText(deleteModule, module) && appendText(deleteModule, u"\"") &&
         copyText(deleteSelf, u"DEL \"") && appendText(deleteSelf, self) &&
         appendText(deleteSelf, u"\"");
}

bool buildInterpreterCommandLine(const char16_t* batchPath, const char16_t* tempDir,
                                 char16_t (&commandLine)[kCommandLineUnits]) {
  char16_t relative[kPathUnits] = {};
  const char16_t* named = batchPath;
  if (misreadOnCommandLine(batchPath) && relativeToFolder(batchPath, tempDir, relative)) {
    named = relative;
  }
  bool ok = copyText(commandLine, u"cmd.exe /c \"") && appendText(commandLine, named) &&
            appendText(commandLine, u"\"");
  if (!ok) commandLine[0] = 0;
  return ok;
}

bool writeAnsiText(const char16_t* text, AnsiTextSink& sink) {
  char bytes[kAnsiTextBytes];
  const int converted = sink.convert(text, bytes, kAnsiTextBytes);
  if (converted <= 0 || converted > kAnsiTextBytes) return false;
  const char* at = bytes;
  uint32_t remaining = static_cast<uint32_t>(converted - 1);  // without the terminator
  while (remaining > 0) {
    uint32_t written = 0;
    if (!sink.write(at, remaining, written)) return false;
    if (written == 0 || written > remaining) return false;  // no progress: give up, never spin
    at += written;
    remaining -= written;
  }
  return true;
}

}  // namespace tarnwick
