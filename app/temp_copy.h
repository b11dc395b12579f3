// The temporary copy of the executable and its self-deletion: the relaunch
// command line, the unique temporary names, the clean-up batch and the text
// writer for it. Everything here is a pure function of paths, the process id
// and the options; the file-system and code-page operations it needs are
// supplied through the small interfaces below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/options.h"

namespace tarnwick {

constexpr size_t kPathUnits = 260;
constexpr size_t kCommandLineUnits = 520;
// A path as the batch names it: every '%' doubled, so up to twice a path.
constexpr size_t kBatchPathUnits = 2 * kPathUnits;
// One batch line: a quoted batch path with the command around it.
constexpr size_t kBatchLineUnits = kBatchPathUnits + 32;

constexpr char16_t kTempPrefix[] = u"TWK";
constexpr char16_t kCopyExtension[] = u".exe";
constexpr char16_t kBatchExtension[] = u".bat";
constexpr uint32_t kUniqueNameAttempts = 1000;
constexpr uint32_t kStartedWaitMs = 6000;

// --- relaunch ---

// `"<tempExePath>" X: /d /c /s /l /k /x --delete-executable`, the letters
// only when given to this process, in that order; X is `driveLetter` as it is.
// False (and an empty buffer) when the result does not fit.
bool buildRelaunchCommandLine(const char16_t* tempExePath, char16_t driveLetter,
                              const LaunchOptions& options,
                              char16_t (&commandLine)[kCommandLineUnits]);

// --- unique temporary names ---

// The two file operations behind a unique name.
class TempNameFiles {
 public:
  virtual ~TempNameFiles() = default;
  // Forms `dir`, `prefix`, `number` in hexadecimal and ".tmp" in `name`, as
  // GetTempFileNameW does (for 0 the system picks a free number and creates
  // that file), and removes the TMP file again. Returns the number used, or
  // 0 when no name could be formed.
  virtual uint32_t formName(const char16_t* dir, const char16_t* prefix, uint32_t number,
                            char16_t (&name)[kPathUnits]) = 0;
  // Creates an empty file that must not exist yet; true when it was created.
  virtual bool createExclusive(const char16_t* path) = 0;
};

// Chooses `tempDir` TWK<hex> `extension` and creates it empty, so that the
// name stays reserved. Up to 1000 numbers are tried, starting with one the
// system picks. False, with an empty `path`, when `tempDir` is empty, no name
// can be formed (a missing folder) or every attempt found its name taken.
bool makeUniqueTempName(const char16_t* tempDir, const char16_t* prefix, const char16_t* extension,
                        char16_t (&path)[kPathUnits], TempNameFiles& files);

// --- clean-up batch ---

// What the command interpreter makes of the batch's bytes.
class BatchCodePage {
 public:
  virtual ~BatchCodePage() = default;
  // True when the interpreter reads `text`, written in the ANSI code page,
  // back unchanged.
  virtual bool carries(const char16_t* text) = 0;
  // The short (8.3) form of an existing path; false when there is none.
  virtual bool shortPath(const char16_t* path, char16_t (&shortForm)[kPathUnits]) = 0;
};

// How the batch names `path`, with '%' written as "%%". The path itself when
// the interpreter reads it back unchanged; otherwise, for a file directly in
// `tempDir` (the interpreter's current directory), ".\" and its file name;
// otherwise its short form; when none of these is read back unchanged, the
// path itself. False when the result does not fit.
bool batchPathForm(const char16_t* path, const char16_t* tempDir, BatchCodePage& codePage,
                   char16_t (&form)[kBatchPathUnits]);

// The three lines of the clean-up batch, each without its CR LF:
//   "<module>" -p<pid>
//   DEL "<module>"
//   DEL "<batch>"
struct CleanupBatch {
  char16_t lines[3][kBatchLineUnits];
};

// False when a path form does not fit.
bool buildCleanupBatch(const char16_t* modulePath, const char16_t* batchPath,
                       const char16_t* tempDir, uint32_t processId, BatchCodePage& codePage,
                       CleanupBatch& batch);

// `cmd.exe /c "<batchPath>"`. When the path holds a character that the
// interpreter's command line misreads (& ^ ( ) ; , = %), the batch is named
// relative to the interpreter's current directory `tempDir` instead.
bool buildInterpreterCommandLine(const char16_t* batchPath, const char16_t* tempDir,
                                 char16_t (&commandLine)[kCommandLineUnits]);

// --- ANSI text ---

// The conversion and the file behind writeAnsiText.
class AnsiTextSink {
 public:
  virtual ~AnsiTextSink() = default;
  // Converts the zero-terminated `text` into `bytes`, terminator included;
  // returns the number of bytes, 0 when it cannot be converted.
  virtual int convert(const char16_t* text, char* bytes, int capacity) = 0;
  // Writes up to `count` bytes; false on failure, else `written` tells how many.
  virtual bool write(const char* bytes, uint32_t count, uint32_t& written) = 0;
};

constexpr int kAnsiTextBytes = 1024;

// Converts `text` to the ANSI code page and writes it without its
// terminator. False when the text cannot be converted (it does not fit into
// 1024 bytes) or a write fails or makes no progress.
bool writeAnsiText(const char16_t* text, AnsiTextSink& sink);

}  // namespace tarnwick
