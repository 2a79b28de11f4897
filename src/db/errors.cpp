// Error handling: the texts of the run-time error numbers, the log
// "DBACCESS.ERR", the fatal I/O checks, and the guarded opens.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/db.h"
#include "db/internal.h"
#include "db/page_cache.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "text/text.h"

namespace db {

using namespace internal;
using namespace platform::literals;

namespace {

struct ErrorEntry {
  int code;
  std::string_view text;
};

const ErrorEntry kErrors[] = {
    {2, "A file nem létezik"_cp},
    {3, "Az útvonal vagy könyvtár nem létezik"_cp},
    {4, "Túl sok nyitott file"_cp},
    {5, "A file nem hozzáférhetö"_cp},
    {6, "Helytelen file-kezelés"_cp},
    {12, "Helytelen file-hozzáférési mód"_cp},
    {15, "Helytelen egység-szám"_cp},
    {16, "A könyvtár nem törölhetö"_cp},
    {17, "A file átnevezése nem megvalósítható"_cp},
    {100, "Lemez olvasási hiba"_cp},
    {101, "Lemez írási hiba"_cp},
    {102, "File-hozzárendelés hiányzik"_cp},
    {103, "A file nincs megnyitva"_cp},
    {104, "A file nincs megnyitva olvasásra"_cp},
    {105, "A file nincs megnyitva írásra"_cp},
    {106, "Helytelen numerikus formátum"_cp},
    {kBadRecLen, "Hibás rekordhossz"_cp},
    {150, "írásvédett lemez"_cp},
    {151, "Ismeretlen eszköz"_cp},
    {152, "A drive nem üzemképes"_cp},
    {153, "Az utasítás ismeretlen"_cp},
    {154, "Adatbeli CRC hiba"_cp},
    {155, "Invalid drive specified"_cp},
    {156, "A file-mutató helytelen pozícionálása lemezen"_cp},
    {157, "Az adathordozó típusa helytelen"_cp},
    {158, "A szektor nem található"_cp},
    {159, "A papír elfogyott a nyomtatóból"_cp},
    {160, "írási hiba a periférián"_cp},
    {161, "Olvasási hiba a periférián"_cp},
    {162, "A hardware meghibásodott"_cp},
    {200, "Osztás nullával"_cp},
    {201, "Index vagy értelmezési tartomány túlcsordulás"_cp},
    {204, "Helytelen pointeres müvelet"_cp},
    {205, "Lebegöpontos túlcsordulás"_cp},
    {206, "Lebegöpontos alulcsordulás"_cp},
    {207, "Helytelen lebegöpontos müvelet"_cp},
    {210, "Object not initialized"_cp},
    {211, "Call to abstract method"_cp},
    {212, "Stream registration error"_cp},
    {213, "Collection index out of range"_cp},
    {214, "Collection overflow error"_cp},
    {215, "Arithmetic overflow error"_cp},
    {216, "General Protection fault"_cp},
};

constexpr std::string_view kLogName = "DBACCESS.ERR";

// The name as the log writes it: trailing blanks and characters 0 dropped.
std::string LogName(std::string_view name) {
  std::size_t end = name.find_last_not_of(std::string_view(" \0", 2));
  return std::string(end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1));
}

// Steps 1 to 3 of the checks: the log line and the report on the standard
// output.
void Report(const std::string& file, std::int32_t n, int code) {
  std::string message = "Record access I/O error :";
  message += text::FormatPicture("###", code) + ":" + ErrorText(code);
  LogDbError(file, n, message);
  std::string report = "\nRECORD-access I/O error ";
  report += std::to_string(code) + " \nFile " + file + " Record " + std::to_string(n) +
            "\nProgram aborted\n";
  CurrentHost().Report(report);
}

// Lets the file in error go without another read or write.
void LetGo(DataFile& f) {
  const OpenFileSlot* slot = f.TableSlot >= 1 && f.TableSlot <= kTableSlots
                                 ? &State().OpenFileTable[f.TableSlot] : nullptr;
  if (slot && slot->file == &f && slot->kind == SlotKind::kIndex) {
    auto& index = static_cast<IndexFile&>(f);
    ForgetIndexPages(index);
    index.Pages.reset();
  }
  f.Handle->Close();
  f.Held.clear();
}


// Waits for a key; taken from the input when take is set. Without a console,
// or with nobody at it, there is nothing to wait for.
void WaitForKey(bool take) {
  while (CurrentHost().Attended()) {
    if (CurrentHost().InputWaiting()) {
      if (!take || CurrentHost().TakeInput() != KeyTaken::kNone) return;
      continue;
    }
    PollPause();
  }
}

// The end of a failed check: reported, a key waited for (taken when take),
// the file let go, the program ended.
[[noreturn]] void FatalEnd(DataFile& f, std::int32_t n, int code, bool take) {
  Report(f.Name, n, code);
  WaitForKey(take);
  LetGo(f);
  EndProgram(code);
}

[[noreturn]] void BusyFileStop(std::string_view name) {
  CurrentHost().Ask(std::string("FOGLALT A FILE, FELDOLGOZAS NEM VEGEZHETO") + '\0' + std::string(name), "");
  EndProgram(1);
}

bool ReadOnlyAttribute(std::string_view name) {
  std::uint32_t attributes = 0;
  return platform::GetAttributes(name, attributes) == 0 && (attributes & platform::attr::kReadOnly) != 0;
}

// A refused open is the busy stop, unless the file is read-only: then the
// stop names that cause, as waiting for other stations would not help.
[[noreturn]] void AccessDeniedStop(std::string_view name) {
  if (!ReadOnlyAttribute(name)) BusyFileStop(name);
  CurrentHost().Ask(std::string("A FILE CSAK OLVASHATO (IRASVEDETT), FELDOLGOZAS NEM VEGEZHETO") + '\0' +
                        std::string(name), "");
  EndProgram(1);
}

[[noreturn]] void CreationFailure(int code, std::string_view tooMany) {
  if (code == platform::error::kTooManyOpenFiles) FatalMessage(tooMany);
  if (code == platform::error::kAccessDenied) FatalMessage("ACCESS DENIED VAGY DISK FULL");
  FatalMessage("REJTELMES HIBA");
}

constexpr std::string_view kTooManyData = "TUL SOK NYITOTT FILE, ERTESITSE A FEJLESZTOT";
constexpr std::string_view kTooManyIndex = "TUL SOK NYITOTT FILE, ERTESITSE A FEJLESZTO";

// The guarded open: open; on failure act on LastIOResult. A missing file is
// created (which opens it), closed and opened again.
template <typename Open, typename Create, typename Close>
void Guarded(DataFile& f, Open open, Create create, Close close) {
  Result opened = open();
  if (opened.Ok()) return;
  switch (opened.Code) {
    case platform::error::kFileNotFound:
      if (Result created = create(); !created.Ok()) CreationFailure(created.Code, kTooManyData);
      if (!close().Ok()) FatalMessage("REJTELMES HIBA FILE LETR+CLOSE UTAN");
      if (!open().Ok()) FatalMessage("REJTELMES HIBA FILE LETR+CLOSE+OPEN UTAN");
      return;
    case platform::error::kTooManyOpenFiles: FatalMessage(kTooManyData);
    case platform::error::kAccessDenied: AccessDeniedStop(f.Name);
    default: FatalMessage("REJTELMES HIBA");
  }
}

}  // namespace

std::string ErrorText(int code) {
  if (code == 0) return {};
  for (const ErrorEntry& entry : kErrors)
    if (entry.code == code) return std::string(entry.text);
  return std::string("Hibaüzenet neve ismeretlen"_cp);
}

bool LogDbError(std::string_view fileName, std::int32_t recordNumber, std::string_view message) {
  std::unique_ptr<platform::File> log = platform::NewFile();
  if (log->Open(kLogName, platform::share::kReadWriteDenyNone) != 0 &&
      log->Create(kLogName, platform::share::kReadWriteDenyNone) != 0)
    return false;
  platform::TimeOfDay now = platform::CurrentClock().Now();
  platform::Date today = platform::CurrentClock().Today();
  auto num = [](long v) { return std::to_string(v); };
  std::string line = "Record Access Error ";
  line += num(now.Hour) + ":" + num(now.Minute) + ":" + num(now.Second) + " ";
  line += num(today.Month) + "/" + num(today.Day) + "/" + num(today.Year);
  line += message;
  line += " File: " + LogName(fileName) + " Record: " + num(recordNumber);
  line += " Station:" + StationId() + "\r\n";
  std::int64_t size = 0;
  std::size_t written = 0;
  int result = log->Size(size);
  if (result == 0) result = log->WriteAt(size, line.data(), line.size(), written);
  log->Close();
  return result == 0;
}

void CheckDataIO(DataFile& f, std::int32_t n) {
  if (LastIOResult() != 0) FatalEnd(f, n, LastIOResult(), true);
}

void CheckIndexIO(DataFile& f, std::int32_t n) {
  if (LastIOResult() != 0) FatalEnd(f, n, LastIOResult(), false);
}

void internal::EndOnIndexIO(DataFile& f, std::int32_t n) { FatalEnd(f, n, LastIOResult(), false); }

void EndOnFailure(const Result& result) {
  if (result.Ok()) return;
  Report(result.File, result.Record, result.Code);
  WaitForKey(true);
  EndProgram(result.Code);
}

Result internal::Published(Result result) {
  State().DbOk = result.Ok();
  State().LastIOResult = static_cast<std::int16_t>(result.Code);
  return result;
}

void FatalMessage(std::string_view text) {
  std::string message = "Hiba:";
  message += text;
  // Nobody reads the box on a batch job's screen: the message goes out as
  // the report of the end.
  if (!CurrentHost().Attended()) CurrentHost().Report(message + "\n");
  CurrentHost().Ask(message, "");
  EndProgram(1);
}

// ---- Guarded opens -----------------------------------------------------------------

void OpenDataFileGuarded(DataFile& f, std::string_view name, int recLen) {
  Guarded(
      f, [&] { return OpenDataFile(f, name, recLen); }, [&] { return CreateDataFile(f, name, recLen); },
      [&] { return CloseDataFile(f); });
}

void OpenDataFileExclusiveGuarded(DataFile& f, std::string_view name, int recLen) {
  Guarded(
      f, [&] { return OpenDataFileExclusive(f, name, recLen); },
      [&] { return CreateDataFile(f, name, recLen); }, [&] { return CloseDataFile(f); });
}

void OpenIndexGuarded(IndexFile& x, std::string_view name, int keyLen, int duplicates) {
  Guarded(
      x, [&] { return OpenIndex(x, name, keyLen, duplicates); },
      [&] { return CreateIndex(x, name, keyLen, duplicates); }, [&] { return CloseIndex(x); });
}

void CreateDataFileGuarded(DataFile& f, std::string_view name, int recLen) {
  if (Result created = CreateDataFile(f, name, recLen); !created.Ok()) CreationFailure(created.Code, kTooManyData);
}

void CreateIndexGuarded(IndexFile& x, std::string_view name, int keyLen, int duplicates) {
  if (Result created = CreateIndex(x, name, keyLen, duplicates); !created.Ok())
    CreationFailure(created.Code, kTooManyIndex);
}

}  // namespace db
