// The index rebuild: the parameter line and its refusals, the free chain and
// header the read pass writes, the index it builds (key order, joined key
// parts, equal keys), the skip file and the question after it, the sort in
// a small memory, its screen, and a data file another station has open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

#include "child_process.h"
#include "db_fixture.h"
#include "../full_disk.h"
#include "platform/codepage.h"
#include "text/text.h"

using namespace platform::literals;
using db_test::EngineTest;
using db_test::Int32At;

namespace {

constexpr int kRec = 40;
constexpr int kKeyPos = 6;  // the usual key: bytes 6..13 ("6 8" on the line)
constexpr int kKeyLen = 8;

using Items = std::vector<std::pair<std::string, std::int32_t>>;  // index order

std::string Int32Bytes(std::int32_t value) {  // little-endian, as both platforms are
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

// A record in use: '.' everywhere, byte 4 set, key at the 1-based position.
std::string Live(std::string_view key, int pos = kKeyPos, int recLen = kRec) {
  std::string record(static_cast<std::size_t>(recLen), '.');
  record[4] = 1;
  record.replace(static_cast<std::size_t>(pos - 1), key.size(), key);
  return record;
}

// A free record whose link (bytes 0..3) is garbage.
std::string Free(int recLen = kRec) {
  std::string record(static_cast<std::size_t>(recLen), 'x');
  record[4] = 0;
  return record;
}

// A data file: a header that lies (wrong chain, counters and length, both
// markers set), then the records.
std::string DataImage(const std::vector<std::string>& records, int recLen = kRec) {
  std::string bytes = Int32Bytes(3) + Int32Bytes(99) + Int32Bytes(4) + Int32Bytes(2) + "\x01\x01\x01" +
                      std::string(static_cast<std::size_t>(recLen - 19), '?');
  for (const std::string& record : records) bytes += record;
  return bytes;
}

// The free chain from the header's head up to the link -1; a link outside
// the file ends it as its last entry, a cycle after one pass.
std::vector<std::int32_t> FreeChain(const std::string& data, int recLen) {
  std::vector<std::int32_t> chain;
  const auto total = static_cast<std::int32_t>(data.size() / recLen);
  for (std::int32_t n = Int32At(data, 0); n != -1 && chain.size() < data.size() / recLen;
       n = Int32At(data, static_cast<std::size_t>(n) * recLen)) {
    chain.push_back(n);
    if (n < 1 || n >= total) break;
  }
  return chain;
}

// The data check: header counters true, no markers, every free record on
// the chain exactly once and nothing else on it.
void ExpectSoundData(const std::string& data, int recLen) {
  ASSERT_EQ(data.size() % recLen, 0u);
  const auto total = static_cast<std::int32_t>(data.size() / recLen);
  std::vector<std::int32_t> chain = FreeChain(data, recLen), free;
  for (std::int32_t n = 1; n < total; ++n)
    if (data[static_cast<std::size_t>(n) * recLen + 4] == 0) free.push_back(n);
  EXPECT_EQ(Int32At(data, 4), static_cast<std::int32_t>(chain.size()));
  EXPECT_EQ(Int32At(data, 12), total);
  EXPECT_EQ(data.substr(16, 3), std::string(3, '\0')) << "markers left set";
  std::sort(chain.begin(), chain.end());
  EXPECT_EQ(chain, free);
}

// Today's rebuild of data, worked out independently: the live records'
// keys (the parts joined) as read, in their order (equal ones the highest
// record first), go into the index one by one, upper-cased; without
// duplicates a key the index holds already is refused and listed.
struct Expected {
  Items ItemsInOrder;    // index order
  std::string SkipFile;  // "" when nothing is refused
};
Expected ExpectedRebuild(const std::string& data, int recLen, const std::vector<std::pair<int, int>>& parts,
                         bool duplicates) {
  std::vector<std::pair<std::string, std::int32_t>> live;  // key as read, record
  for (std::size_t at = recLen; at + recLen <= data.size(); at += recLen) {
    if (data[at + 4] == 0) continue;
    std::string key;
    for (auto [pos, len] : parts) key += data.substr(at + pos - 1, len);
    live.emplace_back(key, static_cast<std::int32_t>(at / recLen));
  }
  std::sort(live.begin(), live.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second > b.second;
  });
  std::set<std::pair<std::string, std::int32_t>> index;
  std::set<std::string> keys;
  std::string skipped;
  for (const auto& [key, n] : live) {
    std::string upper = text::UpperCaseText(key);
    if (!duplicates && !keys.insert(upper).second) {
      char number[16];
      std::snprintf(number, sizeof number, "%010d", n);
      skipped += number + std::string("  kulcs:") + key + "\r\n";
    } else {
      index.emplace(upper, n);
    }
  }
  return {Items(index.begin(), index.end()), skipped.empty() ? "" : "T\r\n" + skipped};
}

Items ExpectedItems(const std::string& data, int recLen, const std::vector<std::pair<int, int>>& parts,
                    bool duplicates) {
  return ExpectedRebuild(data, recLen, parts, duplicates).ItemsInOrder;
}

// count live records (every seventh free) of recLen bytes whose keys at
// kKeyPos are width characters of alphabet drawn at random.
std::vector<std::string> RandomRecords(int count, int width, const std::string& alphabet, std::mt19937& random,
                                       int recLen = kRec) {
  std::vector<std::string> records;
  for (int i = 0; i < count; ++i) {
    std::string key;
    for (int k = 0; k < width; ++k) key += alphabet[random() % alphabet.size()];
    records.push_back(i % 7 == 3 ? Free(recLen) : Live(key, kKeyPos, recLen));
  }
  return records;
}

class RebuildTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ui::SetIdle([] { throw std::runtime_error("the rebuild waited for a key nobody gives"); }, 1);
  }

  db::RebuildResult Rebuild(std::string_view line, const db::SortSettings& sort = {}) {
    return db::RebuildIndex(false, line, sort);
  }

  // The question box gets key (once); the screen it showed is kept.
  void AnswerWith(char key) {
    ui::SetIdle(
        [this, key] {
          if (!asked_.empty()) throw std::runtime_error("the rebuild asked twice");
          asked_ = Screen();
          if (key == 27) PressEsc();
          else term.PushChar(key);
        },
        1);
  }
  std::vector<std::string> Screen() {
    std::vector<std::string> rows;
    for (int row = 1; row <= 25; ++row) rows.push_back(Row(row));
    return rows;
  }
  bool Asked(std::string_view text) {
    return std::any_of(asked_.begin(), asked_.end(),
                       [&](const std::string& row) { return row.find(text) != std::string::npos; });
  }

  // The index's items, stepped through from the first, after the structure
  // check of its bytes.
  Items IndexItems(const std::string& name, int keyLen, bool duplicates) {
    db::IndexCheck check = db::CheckIndexImage(Bytes(name), keyLen, duplicates);
    EXPECT_EQ(check.Fault, "") << name;
    db::IndexFile index;
    EXPECT_TRUE(db::OpenIndex(index, name, keyLen, duplicates ? 1 : 0).Ok());
    EXPECT_TRUE(db::DbOk()) << name;
    Items items;
    std::string key;
    std::int32_t n = 0;
    for (db::StepNext(index, n, key); db::DbOk(); db::StepNext(index, n, key)) items.emplace_back(key, n);
    EXPECT_TRUE(db::CloseIndex(index).Ok());
    EXPECT_EQ(check.Keys, static_cast<std::int64_t>(items.size()));
    return items;
  }

  // Rebuilds T.dat (keys of keyLen bytes at kKeyPos) into I.idx, answering
  // "Nem", and expects what today's rebuild gives; the index's depth.
  int ExpectTodaysRebuild(const std::string& data, int recLen, int keyLen, bool duplicates) {
    const Expected expected = ExpectedRebuild(data, recLen, {{kKeyPos, keyLen}}, duplicates);
    AnswerWith('N');
    asked_.clear();
    db::RebuildResult result = Rebuild("T I " + std::to_string(recLen) + (duplicates ? " 1 " : " 0 ") +
                                       std::to_string(kKeyPos) + " " + std::to_string(keyLen));
    EXPECT_EQ(result.Code, db::kRebuildDone) << result.Reason;
    EXPECT_EQ(IndexItems("I.idx", keyLen, duplicates), expected.ItemsInOrder);
    EXPECT_EQ(result.Skipped, result.Read - static_cast<std::int32_t>(expected.ItemsInOrder.size()));
    EXPECT_EQ(Exists("I_hiba.txt") ? Bytes("I_hiba.txt") : "", expected.SkipFile);
    return db::CheckIndexImage(Bytes("I.idx"), keyLen, duplicates).Depth;
  }

  // The folder's file names, sorted.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> asked_;  // the screen while the question waited
};

// ---- The parameter line ---------------------------------------------------------

TEST_F(RebuildTest, OneWordWritesTheUsageLineAndDoesNothingElse) {
  const std::string data = DataImage({Live("ALFA"), Free()});
  Put("T.dat", data);
  db::RebuildResult result = Rebuild("  T  ");
  EXPECT_EQ(result.Code, db::kRebuildDone);
  EXPECT_EQ(result.Read + result.Indexed + result.Skipped, 0);
  EXPECT_EQ(Row(1).substr(0, 41), "Datafile Indexfile Rh D Kp Kh [Kp Kh]... ");
  EXPECT_EQ(Bytes("T.dat"), data);
  EXPECT_EQ(Files(), std::vector<std::string>{"T.dat"});
}

TEST_F(RebuildTest, BadParametersAreRefusedWithAReasonAndNothingChanges) {
  // E.dat is empty, a whole multiple of every record length: only the check
  // of the parameter itself can refuse these lines. T.dat is 160 bytes.
  const std::string data = DataImage({Live("ALFA"), Free(), Live("BETA")});
  Put("T.dat", data);
  Put("E.dat", "");
  const std::vector<std::string> files{"E.dat", "T.dat"};
  // Each line and the word its reason names, as typed.
  const std::pair<const char*, const char*> lines[] = {
      {"E I 18 0 6 8", "18"},                          // record length below 19
      {"E I 10001 0 6 8", "10001"},                    // above 10000
      {"E I abc 0 6 8", "abc"},                        // no number
      {"E I 99999999999999999999 0 6 8", "99999999999999999999"},  // no 16-bit number
      {"E I 40 2 6 8", "2"},                           // D neither 0 nor 1
      {"E I 40 -1 6 8", "-1"},                         //
      {"E I 40 0 6", "6"},                             // no key part: a position without its length
      {"E I 40 0 7 6 8", "8"},                         // the last part without its length
      {"E I 40 0 1 1 2 1 3 1 5 1 6 1 7 1", "6"},       // six key parts
      {"E I 40 0 0 8", "0 8"},                         // Kp 0
      {"E I 40 0 6 0", "6 0"},                         // Kh 0
      {"E I 40 0 33 9", "33 9"},                       // the part ends after byte 40
      {"E I 300 0 1 100 101 100 201 47", "247"},       // 247 key bytes
      {"T I 41 0 6 8", "41"},                          // the file is no multiple of 41 bytes
  };
  for (auto [line, named] : lines) {
    SCOPED_TRACE(line);
    db::RebuildResult result = Rebuild(line);
    EXPECT_EQ(result.Code, db::kRebuildBadParameters);
    EXPECT_NE(result.Reason.find(named), std::string::npos) << result.Reason;
    EXPECT_EQ(Bytes("T.dat"), data);
    EXPECT_EQ(Bytes("E.dat"), "");
    EXPECT_EQ(Files(), files);
  }
  db::RebuildResult missing = Rebuild("NINCS I 40 0 6 8");
  EXPECT_EQ(missing.Code, db::kRebuildNoDataFile);
  EXPECT_NE(missing.Reason.find("NINCS.dat"), std::string::npos) << missing.Reason;
  EXPECT_EQ(Files(), files);
}

// A header that makes sense counts the file's records: a record length
// that does not fill the file with that many records would cut the
// records wrongly, so it is refused before anything is written, and the
// length the header suggests is named. Zeros past the counted records (an
// append cut short) do not contradict it.
TEST_F(RebuildTest, ARecordLengthTheHeaderContradictsIsRefusedBeforeAnyWrite) {
  std::string header = Int32Bytes(-1) + Int32Bytes(0) + Int32Bytes(0) + Int32Bytes(5) +
                       std::string(static_cast<std::size_t>(kRec - 16), '\0');
  const std::string data = header + Live("ALFA") + Live("BETA") + Live("DELTA") + Live("GAMMA");
  Put("T.dat", data);
  for (const char* line : {"T I 20 0 6 6", "T I 50 0 6 6"}) {  // 200 bytes: 20 and 50 divide them
    SCOPED_TRACE(line);
    db::RebuildResult result = Rebuild(line);
    EXPECT_EQ(result.Code, db::kRebuildBadParameters);
    EXPECT_NE(result.Reason.find("rekordhossz 40"), std::string::npos) << result.Reason;
    EXPECT_EQ(Bytes("T.dat"), data) << "nothing written";
    EXPECT_EQ(Files(), std::vector<std::string>{"T.dat"});
  }
  Put("T.dat", data + std::string(kRec, '\0'));
  db::RebuildResult appended = Rebuild("T I 40 0 6 8");
  EXPECT_EQ(appended.Code, db::kRebuildDone) << appended.Reason;
  EXPECT_EQ(appended.Read, 4);
  EXPECT_EQ(Int32At(Bytes("T.dat"), 12), 6) << "the header counts the appended record";
}

TEST_F(RebuildTest, ParametersAtTheirLimitsAreAccepted) {
  const std::pair<const char*, int> cases[] = {
      {"A A 19 0 19 1", 19},                    // shortest record, the part ends on its last byte
      {"B B 10000 1 1 246", 10000},             // longest record, longest key
      {"C C 40 0 1 1 2 1 6 1 7 1 40 1", kRec},  // five parts
  };
  for (auto [line, recLen] : cases) {
    SCOPED_TRACE(line);
    std::string name(1, line[0]);
    Put(name + ".dat", DataImage({Live("KULCS", kKeyPos, recLen), Free(recLen)}, recLen));
    db::RebuildResult result = Rebuild(line);
    EXPECT_EQ(result.Code, db::kRebuildDone) << result.Reason;
    EXPECT_EQ(result.Indexed, 1);
    EXPECT_TRUE(Exists(name + ".idx"));
  }
}

TEST_F(RebuildTest, ShortLinesRebuildWithTheLastAcceptedParameters) {
  Put("T.dat", DataImage({Live("ALFA")}));
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
  Put("T.dat", DataImage({Live("ALFA"), Live("BETA"), Free()}));
  EXPECT_EQ(Rebuild("T I 10001 0 6 8").Code, db::kRebuildBadParameters);  // not accepted: not kept
  for (const char* line : {"X Y", "X Y 40", "X Y 40 1"}) {
    SCOPED_TRACE(line);
    db::RebuildResult result = Rebuild(line);
    EXPECT_EQ(result.Code, db::kRebuildDone) << result.Reason;
    EXPECT_EQ(result.Indexed, 2);
  }
  EXPECT_FALSE(Exists("X.idx") || Exists("Y.idx"));
  EXPECT_EQ(IndexItems("I.idx", kKeyLen, false), (Items{{"ALFA....", 1}, {"BETA....", 2}}));
}

// A program's arguments are kept as given: names may hold blanks and
// letters beyond ASCII (in the system's own encoding), which the screen
// shows in code page 852.
TEST_F(RebuildTest, ArgumentsKeepTheirBlanksAndTheScreenShowsTheNameInCodePage852) {
#ifdef _WIN32
  const std::string name = "\xC1RV\xCDZ";  // Windows-1250
#else
  const std::string name = "ÁRVÍZ";  // UTF-8
#endif
  ASSERT_EQ(platform::MakeFolder("dir with space"), 0);
  Put("dir with space/" + name + ".dat", DataImage({Live("ALFA"), Live("BETA")}));
  std::vector<std::string> args = {"dir with space/" + name, "dir with space/I X", "40", "0", "6", "8"};
  ASSERT_EQ(db::CheckRebuildWords(args, platform::ArgumentToCp852).Code, db::kRebuildDone);
  db::RebuildResult result = db::RebuildIndexWords(false, args, platform::ArgumentToCp852);
  EXPECT_EQ(result.Code, db::kRebuildDone) << result.Reason;
  EXPECT_EQ(result.Indexed, 2);
  EXPECT_EQ(IndexItems("dir with space/I X.idx", kKeyLen, false), (Items{{"ALFA....", 1}, {"BETA....", 2}}));
  std::vector<std::string> screen = Screen();
  EXPECT_TRUE(std::any_of(screen.begin(), screen.end(), [](const std::string& row) {
    return row.find(std::string("ÁRVÍZ beolvasott"_cp)) != std::string::npos;
  }));
}

TEST_F(RebuildTest, ShortLineWithoutAcceptedParametersIsRefused) {
  EXPECT_EQ(Rebuild("T I").Code, db::kRebuildBadParameters);
  EXPECT_EQ(db::CheckRebuildLine("T I 40").Code, db::kRebuildBadParameters);
  EXPECT_EQ(db::CheckRebuildLine("T").Code, db::kRebuildDone);  // the usage line
  EXPECT_EQ(db::CheckRebuildLine("T I 40 0 6 8").Code, db::kRebuildDone);
  EXPECT_FALSE(Exists("I.idx"));
}

// ---- The read pass: free chain and header ---------------------------------------------

TEST_F(RebuildTest, FreeChainRunsFromTheHighestFreeRecordDownAndTheHeaderIsTrue) {
  const std::string data = DataImage({Live("K1"), Free(), Live("K3"), Free(), Free(), Live("K6"), Free()});
  Put("T.dat", data);
  db::RebuildResult result = Rebuild("T I 40 0 6 8");
  ASSERT_EQ(result.Code, db::kRebuildDone) << result.Reason;
  EXPECT_EQ(result.Read, 3);
  const std::string after = Bytes("T.dat");
  ASSERT_EQ(after.size(), data.size());
  EXPECT_EQ(after.substr(0, kRec),
            Int32Bytes(7) + Int32Bytes(4) + Int32Bytes(0) + Int32Bytes(8) + std::string(kRec - 16, '\0'));
  EXPECT_EQ(FreeChain(after, kRec), (std::vector<std::int32_t>{7, 5, 4, 2}));
  for (std::size_t at = kRec; at < data.size(); at += kRec)  // only the links changed
    EXPECT_EQ(after.substr(at + 4, kRec - 4), data.substr(at + 4, kRec - 4)) << "record " << at / kRec;
  ExpectSoundData(after, kRec);
  EXPECT_EQ(IndexItems("I.idx", kKeyLen, false), ExpectedItems(data, kRec, {{kKeyPos, kKeyLen}}, false));
  EXPECT_FALSE(Exists("I_hiba.txt"));
}

// A sound chain stays as it is, links and order, and the free records off
// it (left by stopped stations) go in front of it: until the header is
// written last, a rebuild stopped on the way leaves chain and header true.
TEST_F(RebuildTest, ASoundChainStaysAndTheFreeRecordsOffItGoInFront) {
  auto linked = [](std::int32_t link) { return Int32Bytes(link) + Free().substr(4); };
  std::string data = DataImage({Live("K1"), linked(-1), Live("K3"), Free(), linked(2), Live("K6"), Free()});
  data.replace(0, 16, Int32Bytes(5) + Int32Bytes(2) + Int32Bytes(0) + Int32Bytes(8));  // the chain 5, 2
  Put("T.dat", data);
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
  const std::string after = Bytes("T.dat");
  EXPECT_EQ(FreeChain(after, kRec), (std::vector<std::int32_t>{7, 4, 5, 2}));
  EXPECT_EQ(after.substr(5 * kRec, kRec), data.substr(5 * kRec, kRec)) << "the chain's records untouched";
  EXPECT_EQ(after.substr(2 * kRec, kRec), data.substr(2 * kRec, kRec));
  ExpectSoundData(after, kRec);
}

TEST_F(RebuildTest, HeaderOnlyAndAllFreeFilesGiveAnEmptyIndex) {
  for (const auto& records : {std::vector<std::string>{}, std::vector<std::string>{Free(), Free()}}) {
    SCOPED_TRACE(records.size());
    Put("T.dat", DataImage(records));
    ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
    const std::string after = Bytes("T.dat");
    EXPECT_EQ(Int32At(after, 0), records.empty() ? -1 : 2);
    ExpectSoundData(after, kRec);
    EXPECT_EQ(IndexItems("I.idx", kKeyLen, false), Items{});
  }
}

// ---- The index ------------------------------------------------------------------------

TEST_F(RebuildTest, KeyPartsAreJoinedInTheirLineOrderAndUpperCased) {
  // Part 1 is bytes 20..23, part 2 bytes 6..8: "zz" sorts the second record first.
  auto record = [](std::string_view front, std::string_view back) {
    std::string r = Live(front);
    return r.replace(19, back.size(), back);
  };
  const std::string data =
      DataImage({record("abc", "zz01"), record("xyz", "aa02"), Free(), record("éaa"_cp, "mm03")});
  Put("T.dat", data);
  ASSERT_EQ(Rebuild("T I 40 1 20 4 6 3").Code, db::kRebuildDone);
  Items items = IndexItems("I.idx", 7, true);
  EXPECT_EQ(items, ExpectedItems(data, kRec, {{20, 4}, {6, 3}}, true));
  EXPECT_EQ(items, (Items{{"AA02XYZ", 2}, {"MM03" + std::string("ÉAA"_cp), 4}, {"ZZ01ABC", 1}}));
}

TEST_F(RebuildTest, EqualKeysWithDuplicatesAllowedAreAllIndexed) {
  const std::string data = DataImage({Live("SAME"), Live("OTHER"), Free(), Live("SAME")});
  Put("T.dat", data);
  EXPECT_EQ(Rebuild("T I 40 1 6 8").Skipped, 0);
  EXPECT_EQ(IndexItems("I.idx", kKeyLen, true), (Items{{"OTHER...", 2}, {"SAME....", 1}, {"SAME....", 4}}));
  EXPECT_FALSE(Exists("I_hiba.txt"));
}

// Records 2, 3 and 6 hold "same"; the index keeps 6, the skip file lists
// 3 then 2.
class RebuildEqualKeysTest : public RebuildTest {
 protected:
  void RebuildAnswering(char key) {
    Put("T.dat", data_);
    AnswerWith(key);
    db::RebuildResult result = Rebuild("T I 40 0 6 8");
    EXPECT_EQ(result.Code, db::kRebuildDone);
    EXPECT_EQ(result.Read, 5);
    EXPECT_EQ(result.Indexed, 3);
    EXPECT_EQ(result.Skipped, 2);
    EXPECT_TRUE(Asked("Kimaradt rekordok száma:      2"_cp));
    EXPECT_TRUE(Asked("Töröljem?  I/N"_cp));
    EXPECT_EQ(Bytes("I_hiba.txt"), "T\r\n0000000003  kulcs:same....\r\n0000000002  kulcs:same....\r\n");
    EXPECT_EQ(IndexItems("I.idx", kKeyLen, false),
              (Items{{"ALFA....", 1}, {"BETA....", 5}, {"SAME....", 6}}));
    ExpectSoundData(Bytes("T.dat"), kRec);
  }
  const std::string data_ =
      DataImage({Live("ALFA"), Live("same"), Live("same"), Free(), Live("BETA"), Live("same")});
};

TEST_F(RebuildEqualKeysTest, AnswerYesFreesTheSkippedRecords) {
  RebuildAnswering('I');
  const std::string after = Bytes("T.dat");
  EXPECT_EQ(std::string({after[2 * kRec + 4], after[3 * kRec + 4]}), std::string(2, '\0'));
  EXPECT_EQ(FreeChain(after, kRec).size(), 3u);  // sound (above): 4 and both of them
}

TEST_F(RebuildEqualKeysTest, AnswerNoOrEscKeepsThem) {
  for (char key : {'N', '\x1b'}) {
    SCOPED_TRACE(static_cast<int>(key));
    asked_.clear();
    RebuildAnswering(key);
    const std::string after = Bytes("T.dat");
    EXPECT_EQ(after.substr(2 * kRec, 2 * kRec), data_.substr(2 * kRec, 2 * kRec));
    EXPECT_EQ(FreeChain(after, kRec), std::vector<std::int32_t>{4});
  }
}

// Equal keys come highest record first with the longest key (246 bytes)
// too, and the sort stays inside its records.
TEST_F(RebuildTest, LongestKeyStillSortsEqualKeysHighestRecordFirst) {
  const int recLen = 260;
  const std::string key(246, 'K');
  Put("T.dat", DataImage({Live(key, 6, recLen), Live("A", 6, recLen), Live(key, 6, recLen)}, recLen));
  AnswerWith('N');
  db::RebuildResult result = Rebuild("T I 260 0 6 246");
  EXPECT_EQ(result.Skipped, 1);
  EXPECT_EQ(Bytes("I_hiba.txt"), "T\r\n0000000001  kulcs:" + key + "\r\n");
  EXPECT_EQ(IndexItems("I.idx", 246, false), (Items{{"A" + std::string(245, '.'), 2}, {key, 3}}));
}

// The tree is laid down bottom-up: whatever the number of keys, every page
// but the root holds 16 to 32 items (the last ones of each level too) and
// stepping through gives the keys in order.
TEST_F(RebuildTest, TreeOfEverySizeHoldsTheSortedKeysInSoundPages) {
  std::vector<int> sizes;
  for (int n = 1; n <= 100; ++n) sizes.push_back(n);
  for (int n : {840, 841, 842, 843, 870, 871, 900, 1800, 26000}) sizes.push_back(n);
  for (int size : sizes) {
    SCOPED_TRACE(size);
    std::vector<std::string> records;
    for (int i = 0; i < size; ++i) {  // distinct keys in a scrambled order
      char key[16];
      std::snprintf(key, sizeof key, "%08d", static_cast<int>((i * 7919LL) % 100003));
      records.push_back(Live(key));
    }
    const std::string data = DataImage(records);
    Put("T.dat", data);
    db::RebuildResult result = Rebuild("T I 40 0 6 8");
    ASSERT_EQ(result.Indexed, size) << result.Reason;
    ASSERT_EQ(IndexItems("I.idx", kKeyLen, false), ExpectedItems(data, kRec, {{kKeyPos, kKeyLen}}, false));
    if (size == 26000) {
      EXPECT_GE(db::CheckIndexImage(Bytes("I.idx"), kKeyLen, false).Depth, 3);
    }
  }
}

// The fill is exact, not merely sound: 1025 keys are 38 leaves of 26 items
// with 37 separators between them, which make two pages of 18 under a
// root of one item (41 pages, three levels); 32 keys fit one page.
TEST_F(RebuildTest, PagesHoldExactlyTheFillAndTheirCountFollowsFromIt) {
  struct Case {
    int Keys, Pages, Depth;
    std::map<int, int> PagesOfCount;  // item count: pages holding it
  } cases[] = {{1025, 41, 3, {{1, 1}, {18, 2}, {26, 38}}}, {32, 1, 1, {{32, 1}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Keys);
    std::vector<std::string> records;
    for (int i = 0; i < c.Keys; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, "%08d", static_cast<int>((i * 7919LL) % 100003));
      records.push_back(Live(key));
    }
    Put("T.dat", DataImage(records));
    ASSERT_EQ(Rebuild("T I 40 0 6 8").Indexed, c.Keys);
    const std::string index = Bytes("I.idx");
    db::IndexCheck check = db::CheckIndexImage(index, kKeyLen, false);
    EXPECT_EQ(check.Fault, "");
    EXPECT_EQ(check.Pages, c.Pages);
    EXPECT_EQ(check.FreePages, 0);
    EXPECT_EQ(check.Depth, c.Depth);
    std::map<int, int> pagesOfCount;
    const std::size_t page = db::IndexRecLen(kKeyLen);
    for (std::size_t at = page; at < index.size(); at += page)
      ++pagesOfCount[static_cast<std::uint8_t>(index[at])];
    EXPECT_EQ(pagesOfCount, c.PagesOfCount);
  }
}

// Keys that differ only in letter case are one key to the index. Without
// duplicates the one indexed is the first of them as read (equal ones: the
// highest record), and the skip file lists the others in that order too.
TEST_F(RebuildTest, KeysDifferingInCaseKeepTodaysChoiceAndSkipFileOrder) {
  std::mt19937 random(15);
  const std::string data = DataImage(RandomRecords(3000, 3, "aAbBcC" + std::string("áÁ"_cp), random));
  Put("T.dat", data);
  for (bool duplicates : {false, true}) {
    SCOPED_TRACE(duplicates);
    ExpectTodaysRebuild(data, kRec, 3, duplicates);
  }
}

// 246-byte keys (the longest; 32 to a page of 8165 bytes) that differ only
// near their end, with equal ones, in a tree of three levels.
TEST_F(RebuildTest, LongestKeysMakeSeveralLevelsWithAndWithoutDuplicates) {
  const int recLen = 260;
  std::mt19937 random(246);
  std::vector<std::string> records = RandomRecords(4000, 4, "ABCDEFGH", random, recLen);
  for (std::string& record : records) {
    if (record[4] == 0) continue;
    std::string tail = record.substr(kKeyPos - 1, 4);
    record.replace(kKeyPos - 1, 246, std::string(242, 'K') + tail);
  }
  const std::string data = DataImage(records, recLen);
  Put("T.dat", data);
  for (bool duplicates : {false, true}) {
    SCOPED_TRACE(duplicates);
    EXPECT_GE(ExpectTodaysRebuild(data, recLen, 246, duplicates), 3);
  }
}

// ---- The sort in a small memory -------------------------------------------------------

TEST_F(RebuildTest, SmallSortMemoryGivesTheSameIndexAndSkipFileAndNoWorkFile) {
  std::mt19937 random(2024);
  std::vector<std::string> records;
  for (int i = 0; i < 3000; ++i) {
    std::string key;
    for (int k = 0; k < 3; ++k) key += static_cast<char>('A' + random() % 8);
    records.push_back(i % 7 == 3 ? Free() : Live(key));
  }
  const std::string data = DataImage(records);
  Put("T.dat", data);
  AnswerWith('N');
  db::SortSettings tiny;
  tiny.MemoryBytes = 40 * 20;  // runs of 34 packed records (7 bytes and the sort's 16): ~75 runs
  db::RebuildResult small = Rebuild("T SMALL 40 0 6 3", tiny);
  ASSERT_EQ(small.Code, db::kRebuildDone) << small.Reason;
  EXPECT_FALSE(Exists(db::SortWorkFileName("")));
  asked_.clear();
  db::RebuildResult big = Rebuild("T BIG 40 0 6 3");
  ASSERT_EQ(big.Code, db::kRebuildDone) << big.Reason;
  const Items expected = ExpectedItems(data, kRec, {{kKeyPos, 3}}, false);
  EXPECT_EQ(small.Indexed, static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(small.Skipped, small.Read - small.Indexed);
  EXPECT_EQ(Bytes("SMALL.idx"), Bytes("BIG.idx"));
  EXPECT_EQ(Bytes("SMALL_hiba.txt"), Bytes("BIG_hiba.txt"));
  EXPECT_EQ(IndexItems("SMALL.idx", 3, false), expected);
  ExpectSoundData(Bytes("T.dat"), kRec);
  EXPECT_FALSE(Exists(db::SortWorkFileName("")));
}

// ---- The screen -----------------------------------------------------------------------

TEST_F(RebuildTest, OwnWindowIsFramedTitledAndPutsTheScreenBack) {
  for (int row = 1; row <= 25; ++row) ui::WriteAt(1, row, std::string(80, static_cast<char>('a' + row)), 0x07);
  const std::vector<std::string> before = Screen();
  Put("KESZLET.dat", DataImage({Live("SAME"), Live("SAME"), Live("OTHER")}));
  AnswerWith('N');
  ASSERT_EQ(db::RebuildIndex(true, "KESZLET I 40 0 6 8").Code, db::kRebuildDone);
  ASSERT_EQ(asked_.size(), 25u);
  for (int row : {6, 19}) {  // corners at columns 10 and 70, the cells beside them untouched
    const std::string& now = asked_[row - 1];
    const std::string& was = before[row - 1];
    EXPECT_NE(now[9], was[9]) << row;
    EXPECT_NE(now[69], was[69]) << row;
    EXPECT_EQ(now.substr(0, 9) + now.substr(70), was.substr(0, 9) + was.substr(70)) << row;
  }
  EXPECT_EQ(asked_[4], before[4]);   // row 5
  EXPECT_EQ(asked_[19], before[19]);  // row 20
  std::size_t title = asked_[5].find(" KESZLET ");
  EXPECT_TRUE(title > 9 && title < 61) << asked_[5];
  EXPECT_EQ(asked_[7].substr(11, 32), "KESZLET beolvasott      :      3");
  EXPECT_EQ(Screen(), before);
}

TEST_F(RebuildTest, WithoutOwnWindowTheTitleAndCountersGoToTheCurrentWindow) {
  Put("T.dat", DataImage({Live("ALFA"), Free(), Live("BETA")}));
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
  EXPECT_EQ(Row(1).substr(0, 3), " T ");
  EXPECT_EQ(Row(2).substr(0, 33), " T beolvasott            :      2");
  EXPECT_EQ(Row(3).substr(0, 33), " T indexelt              :      2");
}

// ---- Built aside ----------------------------------------------------------------------

// A rebuild that a full disk stops while it writes the index leaves the old
// index and its journal as they were, and no new file behind.
TEST_F(RebuildTest, ARebuildThatStopsLeavesTheOldIndexAsItWas) {
  std::vector<std::string> records;
  for (int i = 0; i < 2000; ++i) records.push_back(Live("K" + std::to_string(10000000 + i)));
  Put("T.dat", DataImage(records));
  Put("I.idx", "an index of another day");
  Put("I.idx.jrn", "a change of another day");
  {
    test_support::FullDisk disk(20000);  // the data file's header fits, the index does not
    term.PushChar('x');                  // for the fatal end's wait
    EXPECT_EQ(EndCode([&] { (void)Rebuild("T I 40 0 6 8"); }), 101);
  }
  EXPECT_EQ(Bytes("I.idx"), "an index of another day");
  EXPECT_EQ(Bytes("I.idx.jrn"), "a change of another day");
  EXPECT_FALSE(Exists("I.idx.uj"));
}

// What a killed rebuild left aside is emptied by the next one; the complete
// index takes the old one's place with the journal beside it emptied, so a
// change pending there never meets the new index.
TEST_F(RebuildTest, TheCompleteIndexTakesTheOldOnesPlaceAndItsJournalIsEmptied) {
  const std::string data = DataImage({Live("K2"), Live("K1")});
  Put("T.dat", data);
  Put("I.idx", "an index of another day");
  Put("I.idx.jrn", "a change of another day");
  Put("I.idx.uj", "left by a killed rebuild");
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
  EXPECT_EQ(IndexItems("I.idx", kKeyLen, false), ExpectedItems(data, kRec, {{kKeyPos, kKeyLen}}, false));
  EXPECT_EQ(Bytes("I.idx.jrn"), "");
  EXPECT_FALSE(Exists("I.idx.uj"));
}

// An index another station holds open is not replaced: the rebuild says so
// (in use) and the old index stays.
TEST_F(RebuildTest, AnIndexAnotherStationHasOpenKeepsItsPlace) {
  Put("T.dat", DataImage({Live("K1")}));
  Put("I.idx", "an index of another day");
  std::unique_ptr<platform::File> holder = platform::NewFile();
  ASSERT_EQ(holder->Open("I.idx", platform::share::kReadWriteDenyNone), 0);
  db::RebuildResult refused = Rebuild("T I 40 0 6 8");
  EXPECT_EQ(refused.Code, db::kRebuildInUse);
  EXPECT_NE(refused.Reason.find("I.idx"), std::string::npos) << refused.Reason;
  holder->Close();
  EXPECT_EQ(Bytes("I.idx"), "an index of another day");
  EXPECT_FALSE(Exists("I.idx.uj"));
}

// ---- Another station ------------------------------------------------------------------

TEST_F(RebuildTest, DataFileAnotherStationHasOpenIsRefusedAndLeftAlone) {
  MakeFile("T.dat", kRec, 4);
  {
    db::DataFile f;
    EXPECT_TRUE(db::OpenDataFile(f, "T.dat", kRec).Ok());
    db::FreeRecord(f, 3);
    db::FreeRecord(f, 1);  // the chain 1 -> 3
    EXPECT_TRUE(db::CloseDataFile(f).Ok());
  }
  Put("I.idx", "an index of another day");
  db_test::ChildProcess station;
  auto ask = [&](const std::string& command) {
    station.Send(command);
    return station.WaitFor(command == "quit" ? "bye" : "ok", 20000).value_or(station.Transcript());
  };
  ASSERT_TRUE(station.Start(db_test::ProgramPath(DB_STATION_PATH), {folder_.string(), "B"}));
  ASSERT_TRUE(station.WaitFor("ok ready", 20000).has_value()) << station.Transcript();
  ASSERT_EQ(ask("open 0 T.dat 40 0"), "ok 1 0");
  const std::string data = Bytes("T.dat");

  db::RebuildResult refused = Rebuild("T I 40 0 6 3");
  EXPECT_EQ(refused.Code, db::kRebuildInUse);
  EXPECT_NE(refused.Reason.find("T.dat"), std::string::npos) << refused.Reason;
  EXPECT_EQ(Bytes("T.dat"), data);
  EXPECT_EQ(Bytes("I.idx"), "an index of another day");

  ASSERT_EQ(ask("close 0"), "ok");
  ASSERT_EQ(Rebuild("T I 40 0 6 3").Code, db::kRebuildDone);
  EXPECT_EQ(FreeChain(Bytes("T.dat"), kRec), (std::vector<std::int32_t>{1, 3}));
  EXPECT_NE(Bytes("I.idx"), "an index of another day");
  EXPECT_EQ(ask("quit"), "bye 0");
}

// ---- dbcheck table ------------------------------------------------------------------

// The key description reindex reads, and the key it makes of a record.
TEST_F(RebuildTest, KeyDescriptionReadsTheWordsAndMakesTheKeysAsTheRebuildIndexesThem) {
  std::string record = Live("abé"_cp);
  record.replace(19, 4, "zz01");
  Put("T.dat", DataImage({record}));
  ASSERT_EQ(Rebuild("T I 40 1 20 4 6 3").Code, db::kRebuildDone);
  db::KeyDescription d;
  ASSERT_EQ(
      db::ReadKeyDescription({"T", "I", "40", "1", "20", "4", "6", "3"}, platform::ArgumentToCp852, d).Code, 0);
  EXPECT_EQ(d.Data + d.Index, "TI");
  EXPECT_EQ(d.KeyLength(), 7);
  EXPECT_EQ(d.IndexKey(reinterpret_cast<const std::uint8_t*>(record.data())), IndexItems("I.idx", 7, true)[0].first);
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"T", "I", "40", "1"}, {"T", "I", "40", "2", "6", "8"}, {"T", "I", "40", "0", "6"},
           {"T", "I", "40", "0", "38", "8"}, {"T", "I", "0", "0", "1", "1"}}) {
    db::RebuildResult refused = db::ReadKeyDescription(words, platform::ArgumentToCp852, d);
    EXPECT_EQ(refused.Code, db::kRebuildBadParameters) << words.size();
    if (words.size() >= 5) {
      EXPECT_EQ(refused.Reason, db::CheckRebuildWords(words, platform::ArgumentToCp852).Reason);
    }
  }
}

class DbcheckTableTest : public RebuildTest {
 protected:
  // dbcheck table with the words; its exit code, its output in out_.
  int Table(std::vector<std::string> words) {
    words.insert(words.begin(), "table");
    return db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), words, out_);
  }
  int Table(const std::string& line) {
    std::vector<std::string> words;
    for (std::size_t at = 0, end = 0; at < line.size(); at = end + 1) {
      end = std::min(line.find(' ', at), line.size());
      words.push_back(line.substr(at, end - at));
    }
    return Table(words);
  }
  bool Said(const std::string& line) { return out_.find(line + "\n") != std::string::npos; }
  // data with record n put in.
  static std::string With(std::string data, int n, const std::string& record) {
    return data.replace(static_cast<std::size_t>(n) * kRec, kRec, record);
  }
  std::string out_;
};

TEST_F(DbcheckTableTest, ASoundTableGivesItsCountsAndEveryMismatchIsNamedByRecord) {
  Put("T.dat", DataImage({Live("alpha"), Free(), Live("éva"_cp), Live("gamma")}));
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);
  EXPECT_EQ(Table("T I 40 0 6 8"), 0) << out_;
  EXPECT_EQ(out_, "T.dat, I.idx: sound, 3 records in use, 3 keys\n");

  // Record 2 put in use, record 3 freed, record 4 given another key.
  const std::string data = Bytes("T.dat");
  Put("T.dat", With(With(With(data, 2, Live("delta")), 3, Free()), 4, Live("omega")));
  EXPECT_EQ(Table("T I 40 0 6 8"), 1) << out_;
  EXPECT_EQ(out_, "I.idx: record 2 is in use, its key \"DELTA...\" is not in the index\n"
                  "I.idx: key \"ÉVA.....\" points to record 3, which is free\n"
                  "I.idx: key \"GAMMA...\" points to record 4, whose key is \"OMEGA...\"\n"
                  "I.idx: record 4 is in use, its key \"OMEGA...\" is not in the index\n"
                  "T.dat, I.idx: 3 records in use, 3 keys, 4 mismatches; repair: reindex T I 40 0 6 8\n");

  // A record whose key another record holds in an index without equal keys.
  Put("T.dat", With(data, 2, Live("alpha")));
  EXPECT_EQ(Table("T I 40 0 6 8"), 1) << out_;
  EXPECT_TRUE(Said("I.idx: record 2 is in use, its key \"ALPHA...\" is held by record 1 (equal keys are not allowed)"))
      << out_;
  // With equal keys allowed, both are indexed and the table is sound.
  ASSERT_EQ(Rebuild("T J 40 1 6 8").Code, db::kRebuildDone);
  EXPECT_EQ(Table("T J 40 1 6 8"), 0) << out_;
  EXPECT_TRUE(Said("T.dat, J.idx: sound, 4 records in use, 4 keys")) << out_;
}

TEST_F(DbcheckTableTest, ManyMismatchesAreCappedAndDamagedFilesAndBadWordsAreNamed) {
  Put("T.dat", DataImage(std::vector<std::string>(25, Free())));
  ASSERT_EQ(Rebuild("T I 40 0 6 8").Code, db::kRebuildDone);  // an empty index
  std::string data = Bytes("T.dat");
  for (int n = 1; n <= 25; ++n) data = With(data, n, Live("k" + std::to_string(n)));
  Put("T.dat", data);
  EXPECT_EQ(Table("T I 40 0 6 8"), 1) << out_;
  EXPECT_TRUE(Said("I.idx: record 20 is in use, its key \"K20.....\" is not in the index")) << out_;
  EXPECT_FALSE(Said("I.idx: record 21 is in use, its key \"K21.....\" is not in the index")) << out_;
  EXPECT_TRUE(Said("I.idx: ... and 5 more")) << out_;
  EXPECT_TRUE(Said("T.dat, I.idx: 25 records in use, 0 keys, 25 mismatches; repair: reindex T I 40 0 6 8")) << out_;

  Put("I.idx", std::string(100, 'x'));
  EXPECT_EQ(Table("T I 40 0 6 8"), 1) << out_;
  EXPECT_NE(out_.find("I.idx: damaged: file length 100"), std::string::npos) << out_;
  EXPECT_NE(out_.find("dbcheck index I.idx 8 tells more; repair: reindex T I 40 0 6 8"), std::string::npos) << out_;
  Put("T.dat", data + "x");
  EXPECT_EQ(Table("T I 40 0 6 8"), 1) << out_;
  EXPECT_TRUE(Said("T.dat: damaged; dbcheck data T.dat 40 tells more")) << out_;

  for (const char* bad : {"", "T I 40 2 6 8", "T I 40 0 6", "T I 40 0 38 8"}) {
    EXPECT_EQ(Table(bad), 2) << bad;
    EXPECT_TRUE(out_.starts_with("usage: dbcheck table Datafile Indexfile Rh D Kp Kh [Kp Kh]...")) << out_;
  }
  db::RebuildResult refused = db::CheckRebuildWords({"T", "I", "40", "0", "38", "8"}, platform::ArgumentToCp852);
  EXPECT_TRUE(Said(platform::Cp852ToUtf8(refused.Reason))) << out_;
}

// The keys of several parts, a name with a blank in the repair line, and a
// key that names a record the data file no longer holds.
TEST_F(DbcheckTableTest, KeysOfSeveralPartsNamesWithBlanksAndKeysBeyondTheLastRecord) {
  auto record = [](std::string_view front, std::string_view back) { return Live(front).replace(19, 4, back); };
  Put("T 2.dat", DataImage({record("abc", "zz01"), record("xyz", "aa02"), record("éaa"_cp, "mm03")}));
  const std::vector<std::string> words{"T 2", "I", "40", "0", "20", "4", "6", "3"};
  ASSERT_EQ(db::RebuildIndexWords(false, words, platform::ArgumentToCp852).Code, db::kRebuildDone);
  EXPECT_EQ(Table(words), 0) << out_;
  EXPECT_EQ(out_, "T 2.dat, I.idx: sound, 3 records in use, 3 keys\n");

  std::string data = Bytes("T 2.dat").substr(0, 3 * kRec);  // record 3 cut off, the header told
  Put("T 2.dat", data.replace(12, 4, Int32Bytes(3)));
  EXPECT_EQ(Table(words), 1) << out_;
  EXPECT_EQ(out_, "I.idx: key \"MM03ÉAA\" points to record 3, beyond the data file's last record 2\n"
                  "T 2.dat, I.idx: 2 records in use, 3 keys, 1 mismatches; repair: reindex \"T 2\" I 40 0 20 4 6 3\n");
}

// A record a station holds is read around its lock byte; a key that takes
// that byte cannot be read: busy.
TEST_F(DbcheckTableTest, ARecordAStationHoldsIsReadAroundItsLockByteUnlessTheKeyTakesIt) {
  Put("T.dat", DataImage({Live("alpha", 33), Live("beta", 33)}));
  ASSERT_EQ(Rebuild("T I 40 1 6 8").Code, db::kRebuildDone);  // keys "........"
  ASSERT_EQ(Rebuild("T J 40 0 33 8").Code, db::kRebuildDone);
  std::unique_ptr<platform::File> station = platform::NewFile();
  ASSERT_EQ(station->Open("T.dat", platform::share::kReadWriteDenyNone), 0);
  ASSERT_EQ(station->Lock(2 * kRec + kRec - 1, 1), 0);
  EXPECT_EQ(Table("T I 40 1 6 8"), 0) << out_;
  if (db_test::UnderWine()) return;  // Wine refuses no read of a locked byte
  EXPECT_EQ(Table("T J 40 0 33 8"), 3) << out_;  // busy
  EXPECT_TRUE(Said("T.dat: record 2 is locked by a station: busy, try again when it is let go")) << out_;
}

}  // namespace
