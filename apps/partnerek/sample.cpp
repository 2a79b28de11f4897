#include "sample.h"

#include <string_view>
#include <vector>

#include "console/console.h"
#include "db/db.h"
#include "partner_table.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/codepage.h"
#include "records/records.h"

namespace partnerek {
namespace {

using namespace platform::literals;

constexpr std::string_view kFamilyNames[] = {
    "Nagy"_cp,   "Kovács"_cp,  "Tóth"_cp,    "Szabó"_cp,  "Horváth"_cp,  "Varga"_cp,  "Kiss"_cp,
    "Molnár"_cp, "Németh"_cp,  "Farkas"_cp,  "Balogh"_cp, "Papp"_cp,     "Takács"_cp, "Juhász"_cp,
    "Lakatos"_cp, "Mészáros"_cp, "Oláh"_cp,  "Simon"_cp,  "Rácz"_cp,     "Fekete"_cp, "Szilágyi"_cp,
    "Török"_cp,  "Fehér"_cp,   "Balázs"_cp,  "Gál"_cp,    "Kis"_cp,      "Szűcs"_cp,  "Kocsis"_cp,
    "Orsós"_cp,  "Pintér"_cp,  "Fodor"_cp,   "Szalai"_cp, "Sipos"_cp,    "Magyar"_cp, "Lukács"_cp,
    "Gulyás"_cp, "Bíró"_cp,    "Király"_cp,  "Katona"_cp, "László"_cp,   "Jakab"_cp,  "Bogdán"_cp};
constexpr std::string_view kGivenNames[] = {
    "László"_cp, "István"_cp, "József"_cp,  "János"_cp, "Zoltán"_cp,   "Sándor"_cp, "Gábor"_cp,
    "Ferenc"_cp, "Attila"_cp, "Péter"_cp,   "Tamás"_cp, "Zsolt"_cp,    "Mária"_cp,  "Erzsébet"_cp,
    "Katalin"_cp, "Éva"_cp,   "Ilona"_cp,   "Anna"_cp,  "Zsuzsanna"_cp, "Margit"_cp, "Judit"_cp,
    "Ágnes"_cp,  "Andrea"_cp, "Erika"_cp};
constexpr std::string_view kTrades[] = {
    "Építő"_cp,  "Kereskedelmi"_cp, "Szolgáltató"_cp, "Fuvarozó"_cp, "Pékség"_cp,
    "Autószerviz"_cp, "Informatikai"_cp, "Agrár"_cp,  "Nyomda"_cp,   "Vendéglátó"_cp};
constexpr std::string_view kCompanyForms[] = {"Kft."_cp, "Bt."_cp, "Zrt."_cp, "Kkt."_cp};
constexpr std::string_view kCities[] = {
    "Budapest"_cp,  "Debrecen"_cp,  "Szeged"_cp,      "Miskolc"_cp,    "Pécs"_cp,
    "Győr"_cp,      "Nyíregyháza"_cp, "Kecskemét"_cp, "Székesfehérvár"_cp, "Szombathely"_cp,
    "Szolnok"_cp,   "Tatabánya"_cp, "Kaposvár"_cp,    "Érd"_cp,        "Veszprém"_cp,
    "Békéscsaba"_cp, "Zalaegerszeg"_cp, "Sopron"_cp,  "Eger"_cp,       "Nagykanizsa"_cp,
    "Dunaújváros"_cp, "Hódmezővásárhely"_cp, "Baja"_cp, "Vác"_cp,      "Gödöllő"_cp};
// The county codes that end a tax number.
constexpr std::string_view kCounties[] = {"02", "03", "04", "05", "06", "07", "08", "09", "10",
                                          "11", "12", "13", "14", "15", "16", "17", "18", "19",
                                          "20", "22", "41", "42", "43", "44", "51"};

// SplitMix64: small, fast, and the same sequence on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. bound - 1.
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }
  template <std::size_t N>
  std::string_view Pick(const std::string_view (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }
  std::string Digits(int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + Below(10));
    return digits;
  }

 private:
  std::uint64_t state_;
};

std::string PartnerName(Random& random) {
  std::string name(random.Pick(kFamilyNames));
  if (random.Below(10) < 6) return name + " " + std::string(random.Pick(kGivenNames));
  if (random.Below(4) == 0) name += " és Társa"_cp;
  else name += " " + std::string(random.Pick(kTrades));
  return name + " " + std::string(random.Pick(kCompanyForms));
}

std::string TaxNumber(Random& random) {
  return random.Digits(8) + "-" + std::to_string(1 + random.Below(5)) + "-" +
         std::string(random.Pick(kCounties));
}

double Balance(Random& random) {
  if (random.Below(10) == 0) return 0;
  return (random.Below(550'000'001) - 50'000'000) / 100.0;  // -500 000,00 .. 5 000 000,00
}

// "YYYYMMDD" between 2018 and 2024, or "" (no invoice yet) for some.
std::string InvoiceDate(Random& random) {
  if (random.Below(12) == 0) return "";
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return std::to_string(2018 + random.Below(7)) + two(1 + random.Below(12)) + two(1 + random.Below(28));
}

// Fills record (a blank record image) with partner i.
void FillPartner(std::int32_t i, Random& random, std::uint8_t* record) {
  const records::TableDef& def = PartnerTable();
  auto set = [&](Field field, std::string_view text) { records::SetFieldText(def.Fields[field], record, text); };
  set(kCode, SampleCode(i));
  set(kName, PartnerName(random));
  set(kCity, random.Pick(kCities));
  set(kTaxNumber, TaxNumber(random));
  records::SetFieldValue(def.Fields[kBalance], record, Balance(random));
  set(kLastInvoice, InvoiceDate(random));
}

SampleResult Failed(int code, std::string reason) {
  SampleResult result;
  result.Code = code;
  result.Reason = std::move(reason);
  return result;
}

// The new register is made under these names first: "UJ_PARTNER.dat"...
constexpr std::string_view kNewPrefix = "UJ_";

std::string NewName(const std::string& name) { return std::string(kNewPrefix) + name; }
std::string AsideName(const std::string& name) { return "REGI_" + name; }

bool IsJournal(const std::string& name) { return name.ends_with(".jrn") || name.ends_with(".tjr"); }

// The files the swap replaces: the register's, the change journal beside
// each index and the table journal beside the data file. A journal belongs
// to the file it lies beside: a change pending in the old one must never
// meet the new register.
std::vector<std::string> SwappedFiles() {
  std::vector<std::string> names = RegisterFiles();
  for (const std::string& name : RegisterFiles())
    names.push_back(name == kDataFile ? db::TableJournalName(name) : db::JournalName(name));
  return names;
}

void EraseNewRegister() {
  for (const std::string& name : SwappedFiles())
    (void)platform::EraseFile(NewName(name));  // most are not there: nothing to tell
}

// The first of the register's files that is read-only ("" when none): the
// swap could neither write nor remove it.
std::string ReadOnlyFile() {
  for (const std::string& name : SwappedFiles()) {
    std::uint32_t attributes = 0;
    if (platform::GetAttributes(name, attributes) == 0 && (attributes & platform::attr::kReadOnly) != 0)
      return name;
  }
  return "";
}

// A fresh data file of count partners under its new name; false when it
// could not be created.
bool WritePartners(std::int32_t count) {
  db::SetOpenMode(db::kModeExclusive, 0);
  db::DataFile data;
  db::Result created = db::CreateDataFile(data, NewName(kDataFile), kRecLen);
  db::RestoreOpenMode();
  if (!created.Ok()) return false;
  const std::vector<std::uint8_t> blank = records::BlankRecord(PartnerTable());
  std::vector<std::uint8_t> record;
  Random random(20240101);
  for (std::int32_t i = 0; i < count; ++i) {
    record = blank;
    FillPartner(i, random, record.data());
    std::int32_t n = 0;
    db::AppendRecord(data, n, record.data());
  }
  return db::CloseDataFile(data).Ok();
}

// The whole new register under the new names.
SampleResult MakeNewRegister(std::int32_t count, bool ownWindow) {
  if (!WritePartners(count))
    return Failed(kSampleFileBusy, NewName(kDataFile) + std::string(" nem hozható létre"_cp));
  SampleResult result;
  result.Written = count;
  for (int index = 1; index <= 2; ++index) {
    db::RebuildResult keys = db::RebuildIndex(ownWindow, RebuildLine(index, kNewPrefix));
    if (keys.Code != 0) return Failed(keys.Code, keys.Reason);
    (index == 1 ? result.CodeKeys : result.NameKeys) = keys.Indexed;
  }
  return result;
}

// Puts the new register's files in place of the old ones. The old ones go
// aside first, so that a failure can put every one of them back.
// The old journals go aside with their indexes and are removed with them;
// a new index has no journal to bring (one that is there is moved along).
bool PutInPlace() {
  std::vector<std::string> aside, placed;
  bool ok = true;
  for (const std::string& name : SwappedFiles()) {
    if (!platform::FileExists(name)) continue;
    ok = platform::RenameFile(name, AsideName(name)) == 0;
    if (!ok) break;
    aside.push_back(name);
  }
  for (const std::string& name : SwappedFiles()) {
    if (!ok) break;
    if (IsJournal(name) && !platform::FileExists(NewName(name))) continue;
    ok = platform::RenameFile(NewName(name), name) == 0;
    if (ok) placed.push_back(name);
  }
  // Undoing and clearing up are tried once; what fails stays to be seen.
  for (const std::string& name : placed)
    if (!ok) (void)platform::RenameFile(name, NewName(name));
  for (const std::string& name : aside) {
    if (ok) (void)platform::EraseFile(AsideName(name));
    else (void)platform::RenameFile(AsideName(name), name);
  }
  return ok;
}

}  // namespace

std::string SampleCode(std::int32_t i) {
  // i -> (a * i + c) mod 36^6 is a bijection (a is prime to 36), so the
  // codes of 0 .. 36^6 - 1 are distinct.
  constexpr std::uint64_t kCodes = 2'176'782'336ULL;  // 36^6
  constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::uint64_t value = (2'654'435'761ULL * static_cast<std::uint64_t>(i) + 1'013'904'223ULL) % kCodes;
  std::string code(6, '0');
  for (int place = 5; place >= 0; --place, value /= 36) code[static_cast<std::size_t>(place)] = kDigits[value % 36];
  return code;
}

SampleResult MakeSample(std::int32_t count, bool ownWindow) {
  // The old data file is held (deny-write) while the new register is made:
  // no other station has it open meanwhile.
  if (std::string readOnly = ReadOnlyFile(); !readOnly.empty())
    return Failed(kSampleReadOnly, readOnly + std::string(" csak olvasható (írásvédett), a partnertörzs nem cserélhetö"_cp));
  std::unique_ptr<platform::File> old = platform::NewFile();
  if (platform::FileExists(kDataFile) && old->Open(kDataFile, platform::share::kReadWriteDenyWrite) != 0)
    return Failed(kSampleFileBusy, std::string(kDataFile) +
                                       std::string(" nem hozható létre (másik állomás használja?)"_cp));
  SampleResult result;
  try {
    result = MakeNewRegister(count, ownWindow);
  } catch (const console::ProgramEnd&) {
    EraseNewRegister();
    throw;
  }
  old->Close();
  if (result.Code == 0 && !PutInPlace())
    result = Failed(kSampleNotPlaced, std::string("Az új partnertörzs nem tehető a régi helyére, a régi maradt."_cp));
  EraseNewRegister();
  return result;
}

}  // namespace partnerek
